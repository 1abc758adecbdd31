# The Windows installer, made on Linux by CPack's NSIS generator with Debian's
# makensis (scripts/windows runs `cpack -G NSIS` in the Windows build tree):
# tav-panel-VERSION-win64.exe, in French, which installs the folder that
# scripts/windows gathers (the two programs, the toolkit's and the compiler's
# DLLs, LISEZMOI.txt) under Program Files, adds "TAV panneau solaire" to the
# Start menu, registers its uninstaller in Windows' list of apps, and runs
# silently with /S.
set(TAV_WINDOWS_BUNDLE "" CACHE PATH "The gathered folder that the installer installs")
set(TAV_WINDOWS_ICON "" CACHE FILEPATH "The panel's icon (.ico), for the program and the installer")

if(TAV_WINDOWS_ICON)
  enable_language(RC)
  set(icon_resource ${CMAKE_BINARY_DIR}/tav-panel-icon.rc)
  file(WRITE ${icon_resource} "IDI_ICON1 ICON \"${TAV_WINDOWS_ICON}\"\n")
  target_sources(tav-panel PRIVATE ${icon_resource})
  set(CPACK_NSIS_MUI_ICON ${TAV_WINDOWS_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${TAV_WINDOWS_ICON})
endif()

# CMake's own template, in French alone and without the pages this installer
# has no use for (a licence, the PATH options), in Unicode for the accents,
# and a 64-bit program itself, as the panel is (a 64-bit Windows runs both,
# but a 64-bit Wine prefix only the former).
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in template)
string(REGEX REPLACE "(  !insertmacro MUI_LANGUAGE \"[A-Za-z]+\"[^\n]*\n)+"
       "  !insertmacro MUI_LANGUAGE \"French\"\n" template "${template}")
string(REPLACE "  @CPACK_NSIS_LICENSE_PAGE@\n" "" template "${template}")
string(REPLACE "  Page custom InstallOptionsPage\n" "" template "${template}")
string(REPLACE "Uninstall.lnk" "Désinstaller.lnk" template "${template}")
# The template starts with UTF-8's byte-order mark, which makensis reads it by.
string(ASCII 239 187 191 utf8_bom)
string(REGEX REPLACE "^${utf8_bom}" "" template "${template}")
file(WRITE ${CMAKE_BINARY_DIR}/nsis/NSIS.template.in "${utf8_bom}Target amd64-unicode\n${template}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_BINARY_DIR}/nsis)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME tav-panel)
set(CPACK_PACKAGE_VENDOR TAV)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Panneau de commande de l'installation solaire TAV")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "TAV panel")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY tav-panel)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "TAV panneau solaire")
set(CPACK_NSIS_DISPLAY_NAME "TAV panneau solaire")
set(CPACK_NSIS_INSTALLED_ICON_NAME tav-panel.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES tav-panel "TAV panneau solaire")
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# The installer holds the gathered folder, as the zip does, and nothing else.
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "${TAV_WINDOWS_BUNDLE};.")
include(CPack)
