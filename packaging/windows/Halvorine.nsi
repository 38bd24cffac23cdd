; The Windows installer: one program for 32-bit and 64-bit Windows.
;
; Components: the VST3 bundle (both architectures in one bundle), the CLAP
; edition, the 64-bit VST 2.x DLL (64-bit Windows only) and the 32-bit one,
; each into a folder that the user chooses, by default a VstPlugins folder
; under the matching Program Files. The VST3 bundle goes into the Common
; Files VST3 folder, and on 64-bit Windows also into Program Files (x86)'s,
; where 32-bit hosts look. The CLAP files go into the Common Files CLAP
; folder of their architecture: on 64-bit Windows the 64-bit one into
; Program Files' and the 32-bit one into Program Files (x86)'s, on 32-bit
; Windows the 32-bit one alone. The finish page says where each one went.
; The uninstaller, the licence and the notes go to Program Files\Pellucid\
; Halvorine; the folders chosen are kept in the registry, so that the
; uninstaller removes exactly what was installed. /S installs silently,
; with the defaults or /VST2DIR64=folder and /VST2DIR32=folder;
; uninstall.exe /S uninstalls silently.
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
; What went where, a line each, for the finish page.
Var Where
; The bytes installed, for the system's list of programs.
Var Bytes

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
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

!define MUI_FINISHPAGE_TITLE "Halvorine ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "$Where$\r$\n$\r$\nLet your hosts scan for new plug-ins. Windows' list of programs uninstalls Halvorine."
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_PAGE_FINISH

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
; The bundle into the VST3 folder FOLDER, recorded under the value NAME.
!macro InstallVst3 FOLDER NAME
  ; A bundle of an older version goes whole, so that nothing of it stays.
  RMDir /r "${FOLDER}\Halvorine.vst3"
  SetOutPath "${FOLDER}\Halvorine.vst3"
  File /r "${STAGE}/VST3/Halvorine.vst3/*.*"
  WriteRegStr HKLM "${SETTINGS_KEY}" "${NAME}" "${FOLDER}"
  StrCpy $Where "$Where$\r$\nVST3 bundle: ${FOLDER}\Halvorine.vst3"
  ${GetSize} "${FOLDER}\Halvorine.vst3" "/S=0B" $0 $1 $2
  IntOp $Bytes $Bytes + $0
!macroend

Section "VST3 plug-in" SecVst3
  !insertmacro InstallVst3 "$COMMONFILES64\VST3" "Vst3Dir"
  ; 32-bit hosts on 64-bit Windows look in Program Files (x86); on 32-bit
  ; Windows both names are the one folder there is.
  ${If} "$COMMONFILES32" != "$COMMONFILES64"
    !insertmacro InstallVst3 "$COMMONFILES32\VST3" "Vst3Dir32"
  ${EndIf}
SectionEnd
!endif

; A VST 2.x DLL into the folder DIR, recorded under the value NAME.
!macro InstallVst2 ARCH DIR NAME
  SetOutPath "${DIR}"
  File "${STAGE}/VST2/${ARCH}/Halvorine.dll"
  WriteRegStr HKLM "${SETTINGS_KEY}" "${NAME}" "${DIR}"
  StrCpy $Where "$Where$\r$\nVST 2.x, ${ARCH}: ${DIR}\Halvorine.dll"
  ${GetSize} "${DIR}" "/M=Halvorine.dll /S=0B /G=0" $0 $1 $2
  IntOp $Bytes $Bytes + $0
!macroend

; The CLAP file of ARCH into the CLAP folder FOLDER, recorded under the
; value NAME; NAME.Created records that the install made the folder, which
; the uninstaller then removes once it is empty, and no other.
!macro InstallClap ARCH FOLDER NAME
  ${IfNot} ${FileExists} "${FOLDER}\*.*"
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "${NAME}.Created" 1
  ${EndIf}
  SetOutPath "${FOLDER}"
  File "${STAGE}/CLAP/${ARCH}/Halvorine.clap"
  WriteRegStr HKLM "${SETTINGS_KEY}" "${NAME}" "${FOLDER}"
  StrCpy $Where "$Where$\r$\nCLAP, ${ARCH}: ${FOLDER}\Halvorine.clap"
  ${GetSize} "${FOLDER}" "/M=Halvorine.clap /S=0B /G=0" $0 $1 $2
  IntOp $Bytes $Bytes + $0
!macroend

Section "CLAP plug-in" SecClap
  ${If} ${RunningX64}
    !insertmacro InstallClap 64-bit "$COMMONFILES64\CLAP" "ClapDir64"
  ${EndIf}
  ; On 64-bit Windows the folder where 32-bit hosts look; on 32-bit Windows
  ; the only one there is.
  !insertmacro InstallClap 32-bit "$COMMONFILES32\CLAP" "ClapDir32"
SectionEnd

Section "VST 2.x plug-in, 64-bit" SecVst2x64
  !insertmacro InstallVst2 64-bit $Vst2Dir64 "Vst2Dir64"
SectionEnd

Section "VST 2.x plug-in, 32-bit" SecVst2x86
  !insertmacro InstallVst2 32-bit $Vst2Dir32 "Vst2Dir32"
SectionEnd

; Every file installed counts: the bundles, the DLLs, the notes and the
; uninstaller, in kilobytes rounded up.
Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0B" $0 $1 $2
  IntOp $Bytes $Bytes + $0
  IntOp $0 $Bytes + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
!if ${WITH_VST3} == yes
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst3} "The VST3 edition, for current hosts: into Common Files\VST3, and on 64-bit Windows also into Program Files (x86)\Common Files\VST3 for 32-bit hosts."
!endif
  !insertmacro MUI_DESCRIPTION_TEXT ${SecClap} "The CLAP edition: into Common Files\CLAP, for 32-bit hosts on 64-bit Windows into Program Files (x86)\Common Files\CLAP."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst2x64} "The VST 2.x edition for 64-bit hosts (64-bit Windows only), into the folder that you choose next."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecVst2x86} "The VST 2.x edition for 32-bit hosts, into the folder that you choose next."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  StrCpy $Where "Halvorine ${VERSION} went into these folders:"
  StrCpy $Bytes 0
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

; The CLAP file from the folder recorded under NAME, and the folder where
; the install made it and it is empty now.
!macro UninstallClap NAME
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "${NAME}"
  ${If} $0 != ""
    Delete "$0\Halvorine.clap"
    ReadRegDWORD $1 HKLM "${SETTINGS_KEY}" "${NAME}.Created"
    ${If} $1 == 1
      RMDir "$0"
    ${EndIf}
  ${EndIf}
!macroend

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
  !insertmacro UninstallClap "ClapDir64"
  !insertmacro UninstallClap "ClapDir32"
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst3Dir"
  ${If} $0 != ""
    RMDir /r "$0\Halvorine.vst3"
    RMDir "$0"
  ${EndIf}
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst3Dir32"
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
