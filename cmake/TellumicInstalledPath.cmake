# Run at install time: copies IN to OUT with PLACEHOLDER replaced by the bin folder of the
# prefix being installed into (cmake --install --prefix, or the package's /usr), so that the
# installed file names the installed programs.
if(IS_ABSOLUTE "${BINDIR}")
  set(installed_bindir "${BINDIR}")
else()
  set(installed_bindir "${CMAKE_INSTALL_PREFIX}/${BINDIR}")
endif()
file(READ "${IN}" text)
string(REPLACE "${PLACEHOLDER}" "${installed_bindir}/" text "${text}")
file(WRITE "${OUT}" "${text}")
