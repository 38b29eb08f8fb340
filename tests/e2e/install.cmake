# The installed programs: `cmake --install` into a fresh prefix, `--version` of all three, and
# an installed pintara started from an unrelated folder must find its images under
# share/pintara/images. This file is also the test's script (cmake -P) so it needs no helper.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  if(TARGET pintara AND TARGET glebora AND TARGET gesturetool)
    add_test(NAME e2e_install
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                     -DPREFIX=${PROJECT_BINARY_DIR}/install-test -P ${CMAKE_CURRENT_LIST_FILE})
    set_tests_properties(e2e_install PROPERTIES LABELS e2e TIMEOUT 300)
  endif()
  return()
endif()

function(fail what)
  message(FATAL_ERROR "e2e_install: ${what}")
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install failed (${rc}): ${err}")
endif()

foreach(f bin/pintara bin/glebora bin/gesturetool share/pintara/images/button_background.png
          share/pintara/images/brushtool.png share/pintara/images/pointer_default.png
          share/applications/pintara.desktop share/applications/glebora.desktop
          share/icons/hicolor/128x128/apps/pintara.png share/icons/hicolor/128x128/apps/glebora.png)
  if(NOT EXISTS ${PREFIX}/${f})
    fail("${f} was not installed")
  endif()
endforeach()

# Each menu entry starts its program and shows its icon.
foreach(p pintara glebora)
  file(STRINGS ${PREFIX}/share/applications/${p}.desktop entry)
  foreach(line "Exec=${p}" "Icon=${p}" "Type=Application")
    list(FIND entry "${line}" at)
    if(at EQUAL -1)
      fail("${p}.desktop has no line '${line}'")
    endif()
  endforeach()
endforeach()

foreach(p pintara glebora gesturetool)
  execute_process(COMMAND ${PREFIX}/bin/${p} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "[0-9]+\\.[0-9]+")
    fail("${p} --version: exit ${rc}, printed '${out}${err}'")
  endif()
endforeach()

# A working folder whose ../images holds none of the program's images: the installed copy must
# serve (an unrelated "images" folder there must not hide it). The source tree would serve as
# well, last, so --version, which names the folder the images come from, tells which one did.
set(run_dir ${PREFIX}/elsewhere/run)
file(MAKE_DIRECTORY ${run_dir} ${PREFIX}/elsewhere/images)
file(REAL_PATH ${PREFIX}/share/pintara/images installed_images)
foreach(p pintara glebora)
  execute_process(COMMAND ${PREFIX}/bin/${p} --version WORKING_DIRECTORY ${run_dir}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(FIND "${out}" "\nimages: ${installed_images}\n" at)  # a path is no regular expression
  if(at EQUAL -1)
    fail("installed ${p} does not read the installed images ${installed_images}: '${out}${err}'")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/pintara --frames 5 --fixed-step 33 --screenshot shot.png
                WORKING_DIRECTORY ${run_dir} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("installed pintara exited with ${rc}: ${out}${err}")
endif()
if("${out}${err}" MATCHES "cannot open|image '")
  fail("installed pintara did not find its images: ${out}${err}")
endif()
if(NOT EXISTS ${run_dir}/shot.png)
  fail("installed pintara wrote no screenshot")
endif()
