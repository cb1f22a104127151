cmake_minimum_required(VERSION 3.25)
# Turns the translation tables (JSON) into one C++ source of byte arrays, with the maker's site address
# put in place of @SITE@. Run at build time: cmake -DOUTPUT=... -DSITE=... -DTABLES=ja,es,... -DDIR=... -P
string(REPLACE "," ";" TABLES "${TABLES}")
set(body "")
set(cases "")
foreach(code IN LISTS TABLES)
  file(READ "${DIR}/${code}.json" text)
  string(REPLACE "@SITE@" "${SITE}" text "${text}")
  string(HEX "${text}" hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(MAKE_C_IDENTIFIER "${code}" name)
  string(APPEND body "constexpr unsigned char TABLE_${name}[] = {${bytes}};\n")
  string(APPEND cases "    if (code == \"${code}\") return as_text(TABLE_${name}, sizeof TABLE_${name});\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from src/strings/tables by cmake/embed_tables.cmake. Do not edit.
#include \"strings/tables.h\"

namespace spadrim {
namespace {

${body}
std::string_view as_text(const unsigned char* bytes, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

std::string_view table_text(std::string_view code) {
${cases}    return \"{}\";
}

}  // namespace spadrim
")
# Only touch the output when it changed, so that a rebuild does not recompile it for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
