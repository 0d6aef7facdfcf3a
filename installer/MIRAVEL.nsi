; The setup program of MIRAVEL: a per-user installation that needs no
; administrator rights. It installs into %LOCALAPPDATA%\Programs\MIRAVEL
; (the 64-bit program on x86-64 Windows, the 32-bit one elsewhere), adds a
; Start-menu shortcut, an uninstall entry and "Open with" entries for the
; photo types the program reads, and can start the program at sign-in. Run
; over an installed copy it upgrades that copy in place. The uninstaller
; keeps the user's settings unless asked to remove them. Both run silently
; with /S. Japanese on Japanese systems, English elsewhere.
;
; Built by installer/make-setup.sh (scripts/package.sh calls it), which
; defines:
;   VERSION     the project version (1.1.0)
;   PROGRAM64   the x86-64 MIRAVEL.exe
;   PROGRAM32   the i686 MIRAVEL.exe
;   OUTFILE     the setup program to write
;   STUB        the setup's own architecture: x86-unicode (what is shipped:
;               it runs on every Windows) or amd64-unicode
;
; Switches besides NSIS's own /S and /D=FOLDER:
;   setup:        /AUTOSTART       start MIRAVEL at sign-in (silent installs;
;                                  an upgrade keeps the choice made before)
;   uninstaller:  /REMOVESETTINGS  remove the settings too (silent runs)

!ifndef VERSION | PROGRAM64 | PROGRAM32 | OUTFILE | STUB
  !error "Build the setup with installer/make-setup.sh"
!endif

Target ${STUB}
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
AllowSkipFiles off

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MIRAVEL"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Quillfern\MIRAVEL"
; "Open with": the program under Applications, and a ProgID of our own that
; the photo types list in OpenWithProgids. Their default programs stay.
!define APPLICATION_KEY "Software\Classes\Applications\MIRAVEL.exe"
!define PHOTO_PROGID "MIRAVEL.Photo"
; The automation class the program registers for the user at every start.
!define CLASS_PROGID "MIRAVEL.Application"
!define CLASS_CLSID "{0AB83C19-E54D-4D90-BE16-0D55ABF46564}"

Name "MIRAVEL ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "MIRAVEL ${VERSION}"
InstallDir "$LOCALAPPDATA\Programs\MIRAVEL"
; An installed copy is upgraded where it is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "MIRAVEL"
VIAddVersionKey /LANG=0 "CompanyName" "Quillfern"
VIAddVersionKey /LANG=0 "FileDescription" "MIRAVEL ${VERSION} セットアップ"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 Quillfern"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Integration.nsh"
!include "Sections.nsh"
!include "x64.nsh"

!define MUI_ICON "..\res\MIRAVEL.ico"
!define MUI_UNICON "..\res\MIRAVEL.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\MIRAVEL.exe"
!define MUI_FINISHPAGE_RUN_TEXT "$(StartNow)"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one of systems that speak neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!include "Strings.nsh"

; The photo types MIRAVEL opens, each handed to `_macro`.
!macro ForEachPhotoType _macro
  !insertmacro ${_macro} ".jpg"
  !insertmacro ${_macro} ".jpeg"
  !insertmacro ${_macro} ".jpe"
  !insertmacro ${_macro} ".jfif"
  !insertmacro ${_macro} ".bmp"
!macroend

!macro AddOpenWith _type
  WriteRegStr HKCU "${APPLICATION_KEY}\SupportedTypes" "${_type}" ""
  WriteRegNone HKCU "Software\Classes\${_type}\OpenWithProgids" "${PHOTO_PROGID}"
!macroend

; Keys are removed only when nothing is left in them (DeleteRegKey /ifempty
; keeps a key with subkeys or values): the user's own default program for
; the type, or other programs' entries, stay.
!macro RemoveOpenWith _type
  DeleteRegValue HKCU "Software\Classes\${_type}\OpenWithProgids" "${PHOTO_PROGID}"
  DeleteRegKey /ifempty HKCU "Software\Classes\${_type}\OpenWithProgids"
  DeleteRegKey /ifempty HKCU "Software\Classes\${_type}"
!macroend

; Stops the setup or the uninstaller, with a retry for the user, while
; MIRAVEL.exe in $INSTDIR cannot be written (it is running): so that no
; upgrade or removal is left half done.
!macro DefineWaitForProgramClosed _prefix
Function ${_prefix}WaitForProgramClosed
  Push $0
  retry:
  ${If} ${FileExists} "$INSTDIR\MIRAVEL.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\MIRAVEL.exe" a
    ${If} ${Errors}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ProgramRunning)" /SD IDCANCEL IDRETRY retry
      Pop $0
      Abort "$(ProgramRunning)"
    ${EndIf}
    FileClose $0
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DefineWaitForProgramClosed ""
!insertmacro DefineWaitForProgramClosed "un."

; ----------------------------------------------------------------- setup --

Section "$(SectionProgram)" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  Call WaitForProgramClosed
  ${If} ${IsNativeAMD64}
    File "/oname=MIRAVEL.exe" "${PROGRAM64}"
  ${Else}
    File "/oname=MIRAVEL.exe" "${PROGRAM32}"
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\MIRAVEL.lnk" "$INSTDIR\MIRAVEL.exe" "" "$INSTDIR\MIRAVEL.exe" 0 \
    SW_SHOWNORMAL "" "$(ShortcutComment)"

  WriteRegStr HKCU "${APPLICATION_KEY}" "FriendlyAppName" "MIRAVEL"
  WriteRegStr HKCU "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\MIRAVEL.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\${PHOTO_PROGID}" "" "$(PhotoTypeName)"
  WriteRegStr HKCU "Software\Classes\${PHOTO_PROGID}\DefaultIcon" "" "$INSTDIR\MIRAVEL.exe,0"
  WriteRegStr HKCU "Software\Classes\${PHOTO_PROGID}\shell\open\command" "" '"$INSTDIR\MIRAVEL.exe" "%1"'
  !insertmacro ForEachPhotoType AddOpenWith

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "MIRAVEL"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Quillfern"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\MIRAVEL.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "$(SectionAutostart)" SectionAutostart
  WriteRegStr HKCU "${RUN_KEY}" "MIRAVEL" '"$INSTDIR\MIRAVEL.exe"'
SectionEnd

Section "-Finish"
  ; Unticked on this run: an earlier choice is undone.
  ${IfNot} ${SectionIsSelected} ${SectionAutostart}
    DeleteRegValue HKCU "${RUN_KEY}" "MIRAVEL"
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  ${NotifyShell_AssocChanged}
SectionEnd

Function .onInit
  ; The sign-in start stays as it was on an upgrade; /AUTOSTART turns it on.
  ReadRegStr $0 HKCU "${RUN_KEY}" "MIRAVEL"
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/AUTOSTART" $2
  ${If} $0 != ""
  ${OrIfNot} ${Errors}
    !insertmacro SelectSection ${SectionAutostart}
  ${EndIf}
FunctionEnd

; An upgrade goes into the installed copy's folder: no folder to choose.
Function SkipFolderOnUpgrade
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\MIRAVEL.exe"
    Abort
  ${EndIf}
FunctionEnd

; ----------------------------------------------------------- uninstaller --

; Nothing is removed while the program runs.
Section "-un.Check"
  Call un.WaitForProgramClosed
SectionEnd

; Before the program, so that its folder is the last thing removed.
Section /o "un.$(SectionSettings)" SectionSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Quillfern"
SectionEnd

Section "-un.Program"
  ${UnpinShortcut} "$SMPROGRAMS\MIRAVEL.lnk"
  Delete "$SMPROGRAMS\MIRAVEL.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "MIRAVEL"
  !insertmacro ForEachPhotoType RemoveOpenWith
  DeleteRegKey HKCU "${APPLICATION_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Classes\Applications"
  DeleteRegKey HKCU "Software\Classes\${PHOTO_PROGID}"
  DeleteRegKey HKCU "Software\Classes\${CLASS_PROGID}"
  DeleteRegKey HKCU "Software\Classes\CLSID\${CLASS_CLSID}"
  DeleteRegKey /ifempty HKCU "Software\Classes\CLSID"
  ${NotifyShell_AssocChanged}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  Delete "$INSTDIR\MIRAVEL.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Folders only when empty: whatever else the user put there stays.
  RMDir "$INSTDIR"
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionSettings}
  ${EndIf}
FunctionEnd
