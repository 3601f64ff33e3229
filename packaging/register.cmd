@echo off
rem Registers OrvZeltoRGB.dll from this folder as the in-process server of
rem ZeltoRGB.OrvaneZeltoRGB (run as administrator). A 32-bit DLL: on 64-bit
rem Windows the 32-bit regsvr32 in SysWOW64 registers it.
setlocal
set regsvr=%SystemRoot%\System32\regsvr32.exe
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set regsvr=%SystemRoot%\SysWOW64\regsvr32.exe
"%regsvr%" /s "%~dp0OrvZeltoRGB.dll"
if errorlevel 1 (
  echo Registering %~dp0OrvZeltoRGB.dll failed.
  exit /b 1
)
echo Registered %~dp0OrvZeltoRGB.dll
