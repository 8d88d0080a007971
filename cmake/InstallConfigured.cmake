# Installs a template whose @TRELLMOND_BINDIR@ names the folder the programs are installed
# into. The prefix is known only at install time (`cmake --install --prefix`, or /usr when
# cpack stages a package), so the template is filled in then, not at configure time.
function(trellmond_install_configured template destination)
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  set(filled "${CMAKE_CURRENT_BINARY_DIR}/install-time/${name}")
  install(CODE "
    set(TRELLMOND_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${template}\" \"${filled}\" @ONLY)
    file(INSTALL \"${filled}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\")
  ")
endfunction()
