; The Windows installer of flovir: the licence (GPL-3.0-or-later) to read
; first, then the window, flovir-cli, the licence as LICENSE.txt and the
; uninstaller in one folder, a Start-menu shortcut and an entry in the
; system's list of installed programs. Silent with /S, the folder with /D=DIR.
; The uninstaller removes exactly what was installed: the user's settings
; (HKCU\Software\flovir) and the reports in the program's folder stay.
;
; makensis -INPUTCHARSET UTF8 -DVERSION=0.1 -DBUILD=build-windows
;   -DOUTFILE=build-windows/flovir-setup-0.1.exe scripts/windows/flovir.nsi
; BUILD holds LICENSE.txt: the repository's LICENSE with CR LF line ends.

; A 64-bit installer for 64-bit programs (and wine64 runs no 32-bit one).
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

!define NAME "Связь ФЛОВИР"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\flovir"
!define SHORTCUT "$SMPROGRAMS\${NAME}.lnk"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\flovir"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1049 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${NAME}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "flovir"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${BUILD}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\flovir.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
  ; The programs are 64-bit: their folder and registry view are too.
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${NAME}"
  SetOutPath "$INSTDIR"
  File "${BUILD}\app\flovir.exe"
  File "${BUILD}\cli\flovir-cli.exe"
  File "${BUILD}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\flovir.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\flovir.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "flovir"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\flovir.exe"
  Delete "$INSTDIR\flovir-cli.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: reports written beside the programs stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
