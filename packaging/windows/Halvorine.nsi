; The Windows installer: one program for 32-bit and 64-bit Windows.
;
; Components: the VST3 bundle (both architectures in one bundle, into the
; Common Files VST3 folder), the 64-bit VST 2.x DLL (64-bit Windows only)
; and the 32-bit one, each into a folder that the user chooses, by default
; a VstPlugins folder under the matching Program Files. The uninstaller, the
; licence and the notes go to Program Files\Pellucid\Halvorine; the folders
; chosen are kept in the registry, so that the uninstaller removes exactly
; what was installed. /S installs silently, with the defaults or
; /VST2DIR64=folder and /VST2DIR32=folder; uninstall.exe /S uninstalls
; silently.
;
; scripts/release.sh runs makensis with VERSION, STAGE (the tree that the
; zip holds), WITH_VST3 (yes or no) and OUTFILE.

Unicode true
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!ifndef VERSION | STAGE | WITH_VST3 | OUTFILE
  !error "makensis needs -DVERSION= -DSTAGE= -DWITH_VST3= -DOUTFILE="
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvorine"
!define SETTINGS_KEY "Software\Pellucid\Halvorine"

Name "Halvorine ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pellucid\Halvorine"
BrandingText "Pellucid"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Halvorine"
VIAddVersionKey /LANG=1033 "CompanyName" "Pellucid"
VIAddVersionKey /LANG=1033 "FileDescription" "Halvorine ${VERSION} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 Pellucid (MIT licence)"

; The folder of each VST 2.x DLL.
Var Vst2Dir64
Var Vst2Dir32

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS

!define MUI_PAGE_HEADER_TEXT "64-bit VST 2.x plug-in folder"
!define MUI_PAGE_HEADER_SUBTEXT "Where 64-bit hosts look for VST 2.x plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 64-bit Halvorine.dll goes into this folder. Choose the folder that your 64-bit hosts scan for VST 2.x plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "64-bit VST 2.x folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir64
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessVst2x64
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "32-bit VST 2.x plug-in folder"
!define MUI_PAGE_HEADER_SUBTEXT "Where 32-bit hosts look for VST 2.x plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 32-bit Halvorine.dll goes into this folder. Choose the folder that your 32-bit hosts scan for VST 2.x plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "32-bit VST 2.x folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir32
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessVst2x86
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Always: the uninstaller and its registration.
Section "-Uninstaller"
  SetOutPath "$INSTDIR"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/README.txt"
  File "${STAGE}/CHANGES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Halvorine ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pellucid"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!if ${WITH_VST3} == yes
Section "VST3 plug-in (32-bit and 64-bit hosts)" SecVst3
  ; A bundle of an older version goes whole, so that nothing of it stays.
  RMDir /r "$COMMONFILES64\VST3\Halvorine.vst3"
  SetOutPath "$COMMONFILES64\VST3\Halvorine.vst3"
  File /r "${STAGE}/VST3/Halvorine.vst3/*.*"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Vst3Dir" "$COMMONFILES64\VST3"
SectionEnd
!endif

Section "VST 2.x plug-in, 64-bit" SecVst2x64
  SetOutPath "$Vst2Dir64"
  File "${STAGE}/VST2/64-bit/Halvorine.dll"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Vst2Dir64" "$Vst2Dir64"
SectionEnd

Section "VST 2.x plug-in, 32-bit" SecVst2x86
  SetOutPath "$Vst2Dir32"
  File "${STAGE}/VST2/32-bit/Halvorine.dll"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Vst2Dir32" "$Vst2Dir32"
SectionEnd

Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInit
  ${If} ${RunningX64}
    ; The 64-bit registry, where the system's list of programs reads.
    SetRegView 64
  ${Else}
    ; No 64-bit host runs here.
    SectionSetFlags ${SecVst2x64} ${SF_RO}
  ${EndIf}
  ; The folders of an earlier install, else the defaults; the command line wins.
  ReadRegStr $Vst2Dir64 HKLM "${SETTINGS_KEY}" "Vst2Dir64"
  ${If} $Vst2Dir64 == ""
    StrCpy $Vst2Dir64 "$PROGRAMFILES64\VstPlugins"
  ${EndIf}
  ReadRegStr $Vst2Dir32 HKLM "${SETTINGS_KEY}" "Vst2Dir32"
  ${If} $Vst2Dir32 == ""
    StrCpy $Vst2Dir32 "$PROGRAMFILES32\VstPlugins"
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/VST2DIR64=" $R1
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir64 $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/VST2DIR32=" $R1
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir32 $R1
  ${EndIf}
FunctionEnd

Function SkipUnlessVst2x64
  ${IfNot} ${SectionIsSelected} ${SecVst2x64}
    Abort
  ${EndIf}
FunctionEnd

Function SkipUnlessVst2x86
  ${IfNot} ${SectionIsSelected} ${SecVst2x86}
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Removes what the install put there, from the folders it recorded; a
; folder is removed only when nothing else is left in it.
Section "Uninstall"
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst2Dir64"
  ${If} $0 != ""
    Delete "$0\Halvorine.dll"
    RMDir "$0"
  ${EndIf}
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst2Dir32"
  ${If} $0 != ""
    Delete "$0\Halvorine.dll"
    RMDir "$0"
  ${EndIf}
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst3Dir"
  ${If} $0 != ""
    RMDir /r "$0\Halvorine.vst3"
    RMDir "$0"
  ${EndIf}
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\CHANGES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Pellucid"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
