# Runs the layer check of cmake/ on the source tree (it must pass, with no
# exception left over) and on small trees written here, each holding one
# include or link the table forbids (each must fail and name it) or allows.
cmake_minimum_required(VERSION 3.25)
set(check ${SOURCE_DIR}/cmake/check_layer_includes.cmake)
set(problems "")

# run_check(ROOT RESULT OUTPUT [STRICT]): the include check over ROOT.
function(run_check root resultVar outputVar)
  set(strict OFF)
  if(ARGN)
    set(strict ON)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DSTRICT=${strict} -P ${check}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${resultVar} "${result}" PARENT_SCOPE)
  set(${outputVar} "${out}${err}" PARENT_SCOPE)
endfunction()

# The tree as it is.
run_check(${SOURCE_DIR}/src result output STRICT)
if(NOT result EQUAL 0)
  list(APPEND problems "the source tree fails the layer check:\n${output}")
endif()

# One file per case: folder/file|included header|the words the failure must hold
# (empty: the include is allowed).
set(cases
  "core/reaches_up.cpp|ui/windows/window_set.h|layer core may not use layer windows"
  "devices/sideways.cpp|recording/record_paths.h|layer devices may not use layer recording"
  "recording/to_the_toolkit.cpp|ui/toolkit/xs.h|layer recording may not use layer toolkit"
  "dsp/gui.h|FL/Fl.H|FL/ headers belong to layer toolkit alone"
  "display/private.cpp|ui/toolkit/xs_records.h|ui/toolkit/xs_records.h is private to layer toolkit"
  "app/simulated.cpp|testing/usb_sim_bus.h|layer app may not use layer testing"
  "display/draws_into.cpp|ui/windows/window_set.h|layer display may not use layer windows"
  "sono/picture_text.cpp|ui/toolkit/xs_records.h|ui/toolkit/xs_records.h is private to layer toolkit"
  "gps/names_controls.cpp|ui/windows/gps_status_window_controls.h|layer gps may not use layer windows"
  "model/shows.cpp|ui/toolkit/xs.h|layer model may not use layer toolkit"
  "sono/picture_text.cpp|ui/toolkit/xs.h|"
  "ui/windows/surfaces.cpp|display/display_surfaces.h|"
  "display/allowed.cpp|ui/toolkit/xs.h|"
  "display/below.cpp|dsp/power_fft.h|"
  "ui/toolkit/own.cpp|FL/Fl.H|"
  "ui/windows/all.cpp|recording/record_paths.h|"
  "testing/sim.cpp|devices/usb_backend.h|"
  "core/local.cpp|local.h|"
  "core/system.cpp|vector|")
set(n 0)
foreach(case IN LISTS cases)
  math(EXPR n "${n} + 1")
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 file)
  list(GET fields 1 include)
  list(GET fields 2 expected)
  set(root ${WORK_DIR}/case${n})
  file(REMOVE_RECURSE ${root})
  if(include MATCHES "^(FL/|vector)")
    file(WRITE ${root}/${file} "#include <${include}>\n")
  else()
    file(WRITE ${root}/${file} "// #include \"ui/windows/window_set.h\" in a comment is no include\n"
                               "#include \"${include}\"\n")
  endif()
  run_check(${root} result output)
  if(expected)
    string(FIND "${output}" "${expected}" at)
    string(FIND "${output}" "${file}" named)
    if(result EQUAL 0 OR at LESS 0 OR named LESS 0)
      list(APPEND problems "${file} including ${include} was not refused with '${expected}':\n${output}")
    endif()
  elseif(NOT result EQUAL 0)
    list(APPEND problems "${file} including ${include} was refused:\n${output}")
  endif()
endforeach()

# A listed exception lets exactly its own file and include through, and not
# the same include from a file beside it. Takes the table's first exception;
# when the list is empty there is nothing to prove.
include(${SOURCE_DIR}/cmake/HalvaneLayers.cmake)
include(${SOURCE_DIR}/cmake/layers.cmake)
get_property(exceptions GLOBAL PROPERTY HV_EXCEPTIONS)
if(exceptions)
  list(GET exceptions 0 exception)
  string(REPLACE "|" ";" fields "${exception}")
  list(GET fields 0 file)
  list(GET fields 1 include)
  get_filename_component(folder "${file}" DIRECTORY)
  set(root ${WORK_DIR}/exception)
  file(REMOVE_RECURSE ${root})
  # The excepted file also includes the simulated hardware, which no exception covers.
  file(WRITE ${root}/${file} "#include \"${include}\"\n#include \"testing/usb_sim_bus.h\"\n")
  file(WRITE ${root}/${folder}/beside_the_exception.cpp "#include \"${include}\"\n")
  run_check(${root} result output)
  string(FIND "${output}" "${file}: #include \"${include}\"" excepted)
  string(FIND "${output}" "${file}: #include \"testing/usb_sim_bus.h\"" other)
  string(FIND "${output}" "${folder}/beside_the_exception.cpp:" beside)
  if(result EQUAL 0 OR excepted GREATER_EQUAL 0 OR other LESS 0 OR beside LESS 0)
    list(APPEND problems "the exception for ${file} did not cover exactly that file:\n${output}")
  endif()
  # The other exceptions match nothing in that tree, and are reported (the
  # strict check of the tree above fails on them).
  list(LENGTH exceptions count)
  if(count GREATER 1 AND NOT output MATCHES "no longer match")
    list(APPEND problems "exceptions without their include were not reported:\n${output}")
  endif()
endif()

# Links: a small project of empty libraries, linked by the table or against it.
foreach(variant bad good)
  set(project ${WORK_DIR}/link_${variant})
  file(REMOVE_RECURSE ${project})
  if(variant STREQUAL bad)
    set(link "target_link_libraries(halvane_core INTERFACE halvane_windows)")
  else()
    set(link "target_link_libraries(halvane_windows INTERFACE halvane_core)")
  endif()
  file(WRITE ${project}/CMakeLists.txt
    "cmake_minimum_required(VERSION 3.25)\nproject(layer_links NONE)\n"
    "include(${SOURCE_DIR}/cmake/HalvaneLayers.cmake)\ninclude(${SOURCE_DIR}/cmake/layers.cmake)\n"
    "add_library(halvane_core INTERFACE)\nadd_library(halvane_windows INTERFACE)\n${link}\n"
    "halvane_check_layer_links(halvane_)\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${project} -B ${project}/build
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(variant STREQUAL bad AND (result EQUAL 0 OR NOT err MATCHES "halvane_core links halvane_windows"))
    list(APPEND problems "core linking windows was not refused:\n${out}${err}")
  elseif(variant STREQUAL good AND NOT result EQUAL 0)
    list(APPEND problems "windows linking core was refused:\n${out}${err}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n\n" text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "layer check: tree passes, ${n} include cases, the exception case and both link cases as expected")
