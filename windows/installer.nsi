; The operator's installer, made by scripts/package --windows with Debian's makensis:
;   makensis -DVERSION=2.33 -DFOLDER=<portable folder> -DREMOVAL=<its removal list> -DICON=<.ico>
;            -DOUTFILE=<setup.exe> windows/installer.nsi
; A per-user install: no administrator rights, the program under %LOCALAPPDATA%\Programs, the
; settings and data in a folder of the operator's choosing, which the Start-menu entry starts in,
; since the program keeps config.cfg and its day files in its working folder. The uninstaller takes
; away only what the installer put down; config.cfg and the data stay where they are.
; Silent: setup.exe /S [/DATA=folder]; the uninstaller takes /S too.

!ifndef VERSION | FOLDER | REMOVAL | ICON | OUTFILE
  !error "VERSION, FOLDER, REMOVAL, ICON and OUTFILE are given by scripts/package --windows"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Stilwater"

Name "Stilwater"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Stilwater"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Stilwater ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "Stilwater"
VIAddVersionKey /LANG=0 "CompanyName" "Stilwater"
VIAddVersionKey /LANG=0 "FileDescription" "Stilwater ${VERSION} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© 2026 Stilwater"

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

Var DataFolder

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "$(DataTitle)"
!define MUI_PAGE_HEADER_SUBTEXT "$(DataSubtitle)"
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(DataExplained)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(DataFolderCaption)"
!define MUI_DIRECTORYPAGE_VARIABLE $DataFolder
!define MUI_PAGE_CUSTOMFUNCTION_SHOW HideSpaceTexts
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartInDataFolder
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for a Windows in neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Hungarian"

LangString DataTitle ${LANG_ENGLISH} "Choose the data folder"
LangString DataTitle ${LANG_HUNGARIAN} "Adatmappa kiválasztása"
LangString DataSubtitle ${LANG_ENGLISH} "Where Stilwater keeps its settings and the devices' data."
LangString DataSubtitle ${LANG_HUNGARIAN} "Ahol a Stilwater a beállításait és az eszközök adatait tartja."
LangString DataExplained ${LANG_ENGLISH} "Stilwater starts from the Start menu in this folder. It writes its settings (config.cfg) and, unless you choose other folders in $\"Mentési beállítások$\", the daily data files here. Uninstalling leaves this folder as it is."
LangString DataExplained ${LANG_HUNGARIAN} "A Start menüből indított Stilwater ebben a mappában dolgozik. Ide írja a beállításait (config.cfg), és ha a $\"Mentési beállítások$\" között nem választ más mappát, a napi adatfájlokat is. Az eltávolítás ezt a mappát érintetlenül hagyja."
LangString DataFolderCaption ${LANG_ENGLISH} "Data folder"
LangString DataFolderCaption ${LANG_HUNGARIAN} "Adatmappa"

Function .onInit
  ; An upgrade keeps the folders chosen last time. HKCU\Software\Stilwater is the program's own.
  ReadRegStr $DataFolder HKCU "${UNINSTALL_KEY}" "DataFolder"
  ${If} $DataFolder == ""
    StrCpy $DataFolder "$DOCUMENTS\Stilwater"
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/DATA=" $1
  ${IfNot} ${Errors}
    StrCpy $DataFolder $1
  ${EndIf}
FunctionEnd

; The space needed is the program's, on the first page; the data folder's page does not repeat it.
Function HideSpaceTexts
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $1 $0 1023
  ShowWindow $1 ${SW_HIDE}
  GetDlgItem $1 $0 1024
  ShowWindow $1 ${SW_HIDE}
FunctionEnd

Function StartInDataFolder
  SetOutPath "$DataFolder"
  Exec '"$INSTDIR\stilwater.exe"'
FunctionEnd

Section
  ; An earlier version takes its own files away first, so none of them is left behind; it waits
  ; for its uninstaller, which runs in place (_?=) and leaves the data as always.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File /r "${FOLDER}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts the program in the folder that is current when it is made.
  CreateDirectory "$DataFolder"
  SetOutPath "$DataFolder"
  CreateShortcut "$SMPROGRAMS\Stilwater.lnk" "$INSTDIR\stilwater.exe" "" "$INSTDIR\stilwater.exe" 0
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Stilwater"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Stilwater"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\stilwater.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DataFolder" "$DataFolder"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; Each file and folder by name: the operator may keep config.cfg or data in the program's folder.
  !include "${REMOVAL}"
  Delete "$SMPROGRAMS\Stilwater.lnk"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
