; Spadrim's installer: for the current user only, so it never asks for elevation. Built by
; scripts/release with makensis, which defines VERSION, SOURCE (the folder holding the programs), ICON,
; PICTURE (the last page's side picture), SITE and OUTFILE, and SIGN (a command that signs a file in
; place) when a certificate is configured.
;
; Besides NSIS's own /S and /D=, it takes the arguments Spadrim's updater gives every installer:
;   /SILENT            no pages
;   /SUPPRESSMSGBOXES  no message boxes: each takes its default answer
;   /NORESTART         never restart Windows (this installer never needs to)
;   /UPDATE=1          a running Spadrim is closing for this update: wait for it, then start the new one
; Anything else is ignored.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PUBLISHER "Brightfen Co., Ltd."
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Spadrim"
!define WINDOW_CLASS "Spadrim.Main"
; How long an update waits for the old Spadrim to go, in quarter seconds.
!define CLOSE_WAIT_STEPS 240

Name "Spadrim"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Spadrim"
; An update goes where the installed Spadrim is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"'
!endif

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Spadrim"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Spadrim Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

Var Update          ; 1 under /UPDATE=1
Var QuietBoxes      ; 1 under /SUPPRESSMSGBOXES or in silent mode

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PICTURE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Spadrim.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The program's ten languages; NSIS shows the one that matches Windows' display language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Russian"
!include /CHARSET=UTF8 "texts.nsh"

; Reads the updater's arguments. Shared by the installer and the uninstaller.
!macro READ_ARGUMENTS
  StrCpy $Update 0
  StrCpy $QuietBoxes 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SILENT" $R1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SUPPRESSMSGBOXES" $R1
  ${IfNot} ${Errors}
    StrCpy $QuietBoxes 1
  ${EndIf}
  ${If} ${Silent}
    StrCpy $QuietBoxes 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/UPDATE=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == "1"
    StrCpy $Update 1
  ${EndIf}
!macroend

; Files of a running Spadrim cannot be replaced or deleted. With someone to ask, ask until it is
; closed or they give up; otherwise (an update, whose Spadrim is closing, or a silent run) wait for it
; a while. Its window goes before its process does, and the program's file stays locked until the
; process has ended, so that is waited for too. Gives up with exit code 2.
!macro WAIT_FOR_SPADRIM un
  Function ${un}WaitForSpadrim
    StrCpy $R2 0
    ${Do}
      FindWindow $R1 "${WINDOW_CLASS}"
      ${If} $R1 == 0
        ${IfNot} ${FileExists} "$INSTDIR\Spadrim.exe"
          Return
        ${EndIf}
        ClearErrors
        FileOpen $R3 "$INSTDIR\Spadrim.exe" a
        ${IfNot} ${Errors}
          FileClose $R3
          Return
        ${EndIf}
      ${ElseIf} $QuietBoxes == 0
      ${AndIf} $Update == 0
        ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(SPADRIM_IS_OPEN)" /SD IDCANCEL IDRETRY`
          SetErrorLevel 2
          Quit
        ${EndIf}
        ${Continue}
      ${EndIf}
      IntOp $R2 $R2 + 1
      ${If} $R2 > ${CLOSE_WAIT_STEPS}
        SetErrorLevel 2
        Quit
      ${EndIf}
      Sleep 250
    ${Loop}
  FunctionEnd
!macroend
!insertmacro WAIT_FOR_SPADRIM ""
!insertmacro WAIT_FOR_SPADRIM "un."

; Puts one program in place. A file that cannot be written is never passed over: the user may try
; again, and otherwise the installation stops with exit code 3 rather than start the old program as new.
!macro INSTALL_FILE name
  SetOverwrite try
  ${Do}
    ClearErrors
    File "${SOURCE}\${name}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $0 "$INSTDIR\${name}"
    ${If} $QuietBoxes == 1
      SetErrorLevel 3
      Quit
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONSTOP "$(^FileError_NoIgnore)" /SD IDCANCEL IDRETRY`
      SetErrorLevel 3
      Quit
    ${EndIf}
  ${Loop}
!macroend

Function .onInit
  !insertmacro READ_ARGUMENTS
FunctionEnd

Function un.onInit
  !insertmacro READ_ARGUMENTS
FunctionEnd

Section
  Call WaitForSpadrim
  SetOutPath "$INSTDIR"
  !insertmacro INSTALL_FILE "Spadrim.exe"
  !insertmacro INSTALL_FILE "spadrim-cli.exe"
  ; The program writes its own keys: the Explorer verb is there from the install on, even when the
  ; program is never started (a silent install).
  ExecWait '"$INSTDIR\Spadrim.exe" --register'
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Spadrim.lnk" "$INSTDIR\Spadrim.exe" "" "$INSTDIR\Spadrim.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Spadrim"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Spadrim.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${SITE}"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} $Update == 1
    Exec '"$INSTDIR\Spadrim.exe"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.WaitForSpadrim
  ; The program knows its own keys: the Explorer verb and its settings.
  ExecWait '"$INSTDIR\Spadrim.exe" --unregister'
  Delete "$INSTDIR\Spadrim.exe"
  Delete "$INSTDIR\spadrim-cli.exe"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only if empty: the folder may have been chosen by the user and hold their own files.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Spadrim.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The updater's working folder: its manifest and downloaded installers.
  Delete "$TEMP\Spadrim\update.json"
  Delete "$TEMP\Spadrim\Spadrim-Setup-*.exe"
  RMDir "$TEMP\Spadrim"
  ; Remembered scans, and what a save left aside; anything else there is not ours and stays.
  Delete "$LOCALAPPDATA\Spadrim\Scans\*.json.gz"
  Delete "$LOCALAPPDATA\Spadrim\Scans\*.json.gz.part"
  RMDir "$LOCALAPPDATA\Spadrim\Scans"
  RMDir "$LOCALAPPDATA\Spadrim"
SectionEnd
