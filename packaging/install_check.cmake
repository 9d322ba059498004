# Installs the build into PREFIX and checks the layout; then runs the installed korvan-cli
# through its link in bin/ from another directory, with no KORVAN_HOME to lean on.
# cmake -DBUILD_DIR=... -DPREFIX=... -DWITH_WINDOW=ON|OFF -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                OUTPUT_QUIET RESULT_VARIABLE installed)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()

set(expected bin/korvan-cli lib/korvan/korvan-cli lib/udev/rules.d/60-korvan-ftdi.rules lib/korvan/ChipList.chip lib/korvan/firmware/sample.hex
    share/man/man1/korvan-cli.1.gz)
if(WITH_WINDOW)
  # The window starts the chip-list editor from the program directory, beside itself.
  list(APPEND expected bin/korvan lib/korvan/korvan lib/korvan/Tessaly share/applications/korvan.desktop
       share/icons/hicolor/scalable/apps/korvan.svg share/mime/packages/korvan.xml share/man/man1/korvan.1.gz)
endif()
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(link bin/korvan-cli bin/korvan)
  if(EXISTS ${PREFIX}/${link} AND NOT IS_SYMLINK ${PREFIX}/${link})
    message(FATAL_ERROR "${link} is not a link to the program directory")
  endif()
endforeach()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=KORVAN_HOME
          ${PREFIX}/bin/korvan-cli -q --simulate --programmer serial --chip AT89C52
          open ${PREFIX}/lib/korvan/firmware/sample.hex check erase write verify
  WORKING_DIRECTORY ${PREFIX}
  RESULT_VARIABLE ran ERROR_VARIABLE errors)
if(NOT ran EQUAL 0)
  message(FATAL_ERROR "the installed korvan-cli failed (${ran}): ${errors}")
endif()
file(REMOVE_RECURSE ${PREFIX})
