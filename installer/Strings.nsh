; The setup's and the uninstaller's own texts, in English and Japanese (the
; rest comes with NSIS's Modern UI). Included by MIRAVEL.nsi.

LangString SectionProgram ${LANG_ENGLISH} "MIRAVEL (required)"
LangString SectionProgram ${LANG_JAPANESE} "MIRAVEL (必須)"

LangString SectionAutostart ${LANG_ENGLISH} "Start MIRAVEL when I sign in"
LangString SectionAutostart ${LANG_JAPANESE} "サインイン時に MIRAVEL を起動する"

LangString SectionSettings ${LANG_ENGLISH} "My settings (photo and frame colour)"
LangString SectionSettings ${LANG_JAPANESE} "設定 (写真とフレームの色)"

LangString StartNow ${LANG_ENGLISH} "Start MIRAVEL"
LangString StartNow ${LANG_JAPANESE} "MIRAVEL を起動する"

LangString ShortcutComment ${LANG_ENGLISH} "A photo in a frame on the desktop"
LangString ShortcutComment ${LANG_JAPANESE} "デスクトップに写真を飾ります"

LangString PhotoTypeName ${LANG_ENGLISH} "MIRAVEL photo"
LangString PhotoTypeName ${LANG_JAPANESE} "MIRAVEL 写真"

LangString ProgramRunning ${LANG_ENGLISH} "MIRAVEL is running, so its program file cannot be replaced or removed.$\r$\n$\r$\nClose MIRAVEL, then click Retry."
LangString ProgramRunning ${LANG_JAPANESE} "MIRAVEL が起動しているため、プログラムのファイルを置き換えることも削除することもできません。$\r$\n$\r$\nMIRAVEL を終了してから [再試行] をクリックしてください。"
