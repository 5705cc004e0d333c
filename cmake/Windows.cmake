# The Windows build: ondril.exe without a console, its icon and version in
# its resources, and the installer and portable zip (makensis, zip).
set_target_properties(ondril PROPERTIES WIN32_EXECUTABLE ON)
target_link_options(ondril PRIVATE -s) # shipped without its symbols
configure_file(${PROJECT_SOURCE_DIR}/data/windows/ondril.rc.in ${CMAKE_BINARY_DIR}/ondril.rc @ONLY)
target_sources(ondril PRIVATE ${CMAKE_BINARY_DIR}/ondril.rc)

find_program(MAKENSIS makensis)
find_program(ZIP zip)
if(MAKENSIS AND ZIP)
  configure_file(${PROJECT_SOURCE_DIR}/data/windows/ondril.nsi.in ${CMAKE_BINARY_DIR}/ondril.nsi @ONLY)
  set(installer ${CMAKE_BINARY_DIR}/ondril-${PROJECT_VERSION}-setup.exe)
  set(portable ${CMAKE_BINARY_DIR}/ondril-${PROJECT_VERSION}-portable.zip)
  add_custom_command(OUTPUT ${installer} ${portable}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.txt
    COMMAND ${MAKENSIS} -V2 ${CMAKE_BINARY_DIR}/ondril.nsi
    COMMAND ${CMAKE_COMMAND} -E rm -f ${portable}
    COMMAND ${ZIP} -9 -j ${portable} $<TARGET_FILE:ondril>
    DEPENDS ondril ${CMAKE_BINARY_DIR}/ondril.nsi ${PROJECT_SOURCE_DIR}/README.md
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
  add_custom_target(installer ALL DEPENDS ${installer} ${portable})
endif()
