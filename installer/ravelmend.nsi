; Ravelmend's installer, built by scripts/package.sh with makensis (Debian's nsis package):
;   makensis -DVERSION=1.2.1 -DFILEVERSION=1.2.1.1030 -DSTAGE=<folder> -DOUTFILE=<setup.exe>
; <folder> holds Ravelmend.exe, ravelmend-batch.exe, README.txt and LICENSE.txt.
;
; Installs for the current user only, without administrator rights, into
; %LOCALAPPDATA%\Programs\Ravelmend; a Start menu shortcut; an entry in the list of installed
; programs with its uninstaller. /S installs and uninstalls silently. The command line tool
; goes on the user's PATH only when its component is chosen (off by default; /PATH chooses it
; on the command line, for silent installs: setup.exe /S /PATH).
; A 64-bit installer for 64-bit programs (and Wine prefixes without 32-bit support).
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WordFunc.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define PRODUCT "Ravelmend"
!define COMPANY "Norquill"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ravelmend"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${COMPANY}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT} ${VERSION} for you alone: no administrator rights are needed.$\r$\n$\r$\n${PRODUCT} runs beside Microsoft Word and repairs the links of a document whose linked pictures and objects point at files that have moved. ravelmend-batch repairs .docx files without Word.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Ravelmend.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Ravelmend and ravelmend-batch" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}\Ravelmend.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  ; The command line tool in a folder of its own, so that only it goes on PATH.
  SetOutPath "$INSTDIR\bin"
  File "${STAGE}\ravelmend-batch.exe"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Ravelmend.exe" "" "$INSTDIR\Ravelmend.exe" 0 \
    SW_SHOWNORMAL "" "Repair the links of the document open in Word"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Ravelmend.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section /o "ravelmend-batch on my PATH" SecPath
  ReadRegStr $0 HKCU "Environment" "Path"
  ${WordAdd} "$0" ";" "+$INSTDIR\bin" $1
  ; Written back as an expandable string, so entries such as %USERPROFILE%\x keep working.
  WriteRegExpandStr HKCU "Environment" "Path" "$1"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} "$0" "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "The program, the command line tool (in the bin folder), a Start menu shortcut and the uninstaller."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Lets you type ravelmend-batch in any command prompt: adds the bin folder to your PATH."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  SetShellVarContext current
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    ReadRegStr $1 HKCU "Environment" "Path"
    ${un.WordAdd} "$1" ";" "-$INSTDIR\bin" $2
    ${If} $2 == ""
      DeleteRegValue HKCU "Environment" "Path"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" "$2"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\bin\ravelmend-batch.exe"
  RMDir "$INSTDIR\bin"
  Delete "$INSTDIR\Ravelmend.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only what was installed: a folder holding files of the user's stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The user's settings (HKCU\Software\Norquill\Ravelmend) stay, as users expect of an
  ; uninstaller that may precede a newer version.
SectionEnd
