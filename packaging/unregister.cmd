@echo off
rem Removes the registration of OrvZeltoRGB.dll in this folder (run as administrator).
setlocal
set regsvr=%SystemRoot%\System32\regsvr32.exe
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set regsvr=%SystemRoot%\SysWOW64\regsvr32.exe
"%regsvr%" /s /u "%~dp0OrvZeltoRGB.dll"
if errorlevel 1 (
  echo Unregistering %~dp0OrvZeltoRGB.dll failed.
  exit /b 1
)
echo Unregistered %~dp0OrvZeltoRGB.dll
