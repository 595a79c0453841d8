; The Quillnet installer. It puts qlnet.dll, quillnet.exe and pgp2gpg.exe
; into the folder of the mail client (the one holding EUDORA.EXE), writes a
; QLNET.INI there unless one exists, adds the Start-menu shortcut "Eudora
; with PGP" and an uninstaller listed under Add/Remove Programs.
;
; Built by packaging/CMakeLists.txt:
;   makensis -DVERSION=<x.y> -DVERSION_NUMBERS=<x.y.0.0> -DSTAGE=<the files that ship, README.txt>
;            -DICON=<quillnet.ico> -DOUTFILE=<setup.exe> [-DX64] quillnet.nsi
; X64 makes the amd64 installer around the x86-64 build, which tests the
; installer where 32-bit code cannot run; the product is the x86 one.
;
; Silent: setup.exe /S /D=<folder>. Without EUDORA.EXE in the folder a
; silent install ends with exit code 2 and installs nothing.

!ifdef X64
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Quillnet"
!define CLIENT "EUDORA.EXE"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillnet"
!define UNINSTALLER "Uninstall Quillnet.exe"
!define README "Quillnet README.txt"
!define SHORTCUT "$SMPROGRAMS\Eudora with PGP.lnk"
; The QLNET.INI the installer wrote, kept to tell at uninstall whether the
; user has changed it since.
!define WRITTEN_SETTINGS "QuillnetWrittenSettings"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the Quillnet developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION}, which lets Eudora run PGP on the message in front of you: decode, check a signature, add a key, encrypt.$\r$\n$\r$\nQuillnet goes into Eudora's folder. Close Eudora before you go on."
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the folder of the Eudora mail client: the folder that holds ${CLIENT}."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Eudora's folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckClientFolder
!insertmacro MUI_PAGE_DIRECTORY
; Stays on the list of what was done (settings written or kept, GnuPG found).
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Start Eudora with $\"Eudora with PGP$\" in the Start menu; $\"Run PGP...$\" is then in the Message menu.$\r$\n$\r$\nThe settings are in QLNET.INI in Eudora's folder; $\"${README}$\" explains them."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- finding things ---------------------------------------------------------

; Looks for the client in $R0 and in the folders up to two levels below it
; (Program Files\Eudora, Program Files\Qualcomm\Eudora); the first folder
; found becomes $INSTDIR.
Function FindClientUnder
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  ${If} ${FileExists} "$R0\${CLIENT}"
    StrCpy $INSTDIR $R0
  ${EndIf}
  FindFirst $R1 $R2 "$R0\*"
  ${DoWhile} $R2 != ""
    ${If} $INSTDIR != ""
      ${Break}
    ${EndIf}
    ${If} $R2 != "."
    ${AndIf} $R2 != ".."
      ${If} ${FileExists} "$R0\$R2\${CLIENT}"
        StrCpy $INSTDIR "$R0\$R2"
      ${Else}
        FindFirst $R3 $R4 "$R0\$R2\*"
        ${DoWhile} $R4 != ""
          ${If} $R4 != "."
          ${AndIf} $R4 != ".."
          ${AndIf} ${FileExists} "$R0\$R2\$R4\${CLIENT}"
            StrCpy $INSTDIR "$R0\$R2\$R4"
            ${Break}
          ${EndIf}
          FindNext $R3 $R4
        ${Loop}
        FindClose $R3
      ${EndIf}
    ${EndIf}
    FindNext $R1 $R2
  ${Loop}
  FindClose $R1
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; The proposed folder: where Quillnet was installed before, else the first
; Eudora under the program folders, else where Eudora installs itself.
Function ProposeFolder
  ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $INSTDIR != ""
    Return
  ${EndIf}
  Push $PROGRAMFILES32
  Call FindClientUnder
  ${If} $INSTDIR == ""
  ${AndIf} $PROGRAMFILES64 != $PROGRAMFILES32
    Push $PROGRAMFILES64
    Call FindClientUnder
  ${EndIf}
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES32\Qualcomm\Eudora"
  ${EndIf}
FunctionEnd

; $R0: "yes" when GnuPG is installed: its registry key names an existing
; folder (in either registry view, for all users or this user), or gpg.exe
; is on the PATH.
Function FindGnuPG
  StrCpy $R0 ""
  SetRegView 32
  Call GnuPGFolderInRegistry
  SetRegView 64
  Call GnuPGFolderInRegistry
  SetRegView default
  ${If} $R0 == ""
    SearchPath $R2 "gpg.exe"
    ${If} $R2 != ""
      StrCpy $R0 "yes"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function GnuPGFolderInRegistry
  ReadRegStr $R2 HKLM "Software\GnuPG" "Install Directory"
  ${If} $R2 == ""
    ReadRegStr $R2 HKCU "Software\GnuPG" "Install Directory"
  ${EndIf}
  ${If} $R2 != ""
  ${AndIf} ${FileExists} "$R2\*.*"
    StrCpy $R0 "yes"
  ${EndIf}
FunctionEnd

; ---- installing -------------------------------------------------------------

; Each installer uses its own registry view: the x86 one's uninstall entry
; sits where 32-bit programs' entries sit.
Function .onInit
  SetShellVarContext all
  ${If} $INSTDIR == ""
    Call ProposeFolder
  ${EndIf}
  ${If} ${Silent}
  ${AndIfNot} ${FileExists} "$INSTDIR\${CLIENT}"
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Function CheckClientFolder
  ${IfNot} ${FileExists} "$INSTDIR\${CLIENT}"
    MessageBox MB_OK|MB_ICONEXCLAMATION "There is no ${CLIENT} in$\r$\n$INSTDIR$\r$\n$\r$\nQuillnet goes into the folder of the Eudora mail client. Choose the folder that holds ${CLIENT}."
    Abort
  ${EndIf}
FunctionEnd

; QLNET.INI for this folder: the client beside it and, with GnuPG, pgp2gpg
; as the PGP program. A QLNET.INI already there holds the user's settings
; and stays as it is.
Function WriteSettings
  ${If} ${FileExists} "$INSTDIR\QLNET.INI"
    DetailPrint "QLNET.INI is there already and is kept as it is."
    Return
  ${EndIf}
  Call FindGnuPG
  StrCpy $R1 "; Quillnet settings, written by the installer. $\"${README}$\" lists$\r$\n"
  StrCpy $R1 "$R1; every key; the uninstaller keeps this file once you change it.$\r$\n"
  StrCpy $R1 "$R1[Settings]$\r$\nProgEudora=$INSTDIR\${CLIENT}$\r$\n"
  ; Today's encrypted mail arrives as PGP/MIME, which Eudora shows as two
  ; attachments: only with ConvertAttach does "Run PGP" find it.
  StrCpy $R1 "$R1ConvertAttach=1$\r$\n"
  ${If} $R0 == "yes"
    StrCpy $R1 "$R1[PGP settings]$\r$\nProgPGP=$INSTDIR\pgp2gpg.exe$\r$\n"
    DetailPrint "GnuPG found: PGP runs through pgp2gpg.exe."
  ${EndIf}
  ClearErrors
  FileOpen $R2 "$INSTDIR\QLNET.INI" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Quillnet cannot write$\r$\n$INSTDIR\QLNET.INI" /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
  FileWrite $R2 $R1
  FileClose $R2
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${WRITTEN_SETTINGS}" $R1
FunctionEnd

; The folder holds the client: the folder page's check or, when silent,
; .onInit made sure of it.
Section "Quillnet"
  SetOutPath $INSTDIR
  File "${STAGE}\qlnet.dll"
  File "${STAGE}\quillnet.exe"
  File "${STAGE}\pgp2gpg.exe"
  File "/oname=${README}" "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  Call WriteSettings
  CreateShortCut "${SHORTCUT}" "$INSTDIR\quillnet.exe" "" "$INSTDIR\quillnet.exe" 0 SW_SHOWNORMAL "" "Eudora with the Quillnet PGP extension"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (PGP for Eudora)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quillnet developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillnet.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\${UNINSTALLER}$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\${UNINSTALLER}$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $R0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R0
SectionEnd

; ---- uninstalling -----------------------------------------------------------

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Removes QLNET.INI only when it is still what the installer wrote.
Function un.RemoveUnchangedSettings
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "${WRITTEN_SETTINGS}"
  ${If} $R0 == ""
    Return
  ${EndIf}
  ClearErrors
  FileOpen $R1 "$INSTDIR\QLNET.INI" r
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $R2 ""
  ${Do}
    ClearErrors
    FileRead $R1 $R3
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    StrCpy $R2 "$R2$R3"
  ${Loop}
  FileClose $R1
  ${If} $R2 S== $R0
    Delete "$INSTDIR\QLNET.INI"
  ${Else}
    DetailPrint "QLNET.INI holds your changes and is kept."
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete /REBOOTOK "$INSTDIR\qlnet.dll"
  Delete /REBOOTOK "$INSTDIR\quillnet.exe"
  Delete /REBOOTOK "$INSTDIR\pgp2gpg.exe"
  Delete "$INSTDIR\${README}"
  Call un.RemoveUnchangedSettings
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; The folder is the mail client's: it goes only when nothing else is left.
  RMDir "$INSTDIR"
SectionEnd
