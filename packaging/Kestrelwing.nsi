; The Kestrelwing installer, one per architecture; scripts/package.sh builds it with
;   makensis -DVERSION=<a.b.c> -DARCH=<win32|win64> -DSTAGE=<folder> -DSIZE_KB=<n> -DOUTFILE=<exe>
; STAGE holds what is installed: Kestrelwing.exe, LEEME.txt, LICENSE.txt, tools\regsvr42.exe and
; the generator of the other bitness in tools\x86\ or tools\x64\.
; Silent use: setup.exe /S [/D=<folder>]; the uninstaller: Desinstalar.exe /S.

Unicode true
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!if "${ARCH}" == "win64"
  Target amd64-unicode
  !define SIBLING "x86"
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  !define SIBLING "x64"
  !define PROGRAM_FILES "$PROGRAMFILES32"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrelwing"
!define UNINSTALLER "Desinstalar.exe"
!define SHORTCUT "$SMPROGRAMS\Kestrelwing.lnk"

Name "Kestrelwing ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\Kestrelwing"
; Program Files and the machine's list of installed programs need an administrator; the program
; itself runs afterwards with the user's own rights.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Kestrelwing ${VERSION}"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrelwing.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

; The installer's own version information, the same version as the programs'.
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "Kestrelwing"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalador de Kestrelwing"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "Copyright (c) The Kestrelwing authors"

; The shortcut for every user, and the 64-bit registry and folders for the 64-bit program.
!macro UseMachineViews
  SetShellVarContext all
  !if "${ARCH}" == "win64"
    SetRegView 64
  !endif
!macroend

Function .onInit
  !if "${ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "Este instalador es para Windows de 64 bits; use el de 32 bits." /SD IDOK
      Abort
    ${EndIf}
  !endif
  !insertmacro UseMachineViews
FunctionEnd

Section "Kestrelwing"
  SetOutPath "$INSTDIR"
  File "${STAGE}/Kestrelwing.exe"
  File "${STAGE}/LEEME.txt"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\tools"
  File "${STAGE}/tools/regsvr42.exe"
  SetOutPath "$INSTDIR\tools\${SIBLING}"
  File "${STAGE}/tools/${SIBLING}/regsvr42.exe"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\Kestrelwing.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrelwing"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestrelwing authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrelwing.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  !insertmacro UseMachineViews
FunctionEnd

; Exactly what the installer wrote; folders go only when nothing else is left in them (a manifest
; the user generated beside the program stays).
Section "Uninstall"
  Delete "$INSTDIR\tools\${SIBLING}\regsvr42.exe"
  RMDir "$INSTDIR\tools\${SIBLING}"
  Delete "$INSTDIR\tools\regsvr42.exe"
  RMDir "$INSTDIR\tools"
  Delete "$INSTDIR\Kestrelwing.exe"
  Delete "$INSTDIR\LEEME.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
