// The query of the search field and what the results show of it.
#include "app/app.h"

namespace spadrim {

void set_query(App& app, std::string_view text) {
    app.query_text = text;
    refresh_view(app);
}

}  // namespace spadrim
