# Checks the includes of C++ files against the layer table, in script mode:
#   cmake -DROOT=<src folder> [-DLAYERS=<layer;...>] [-DSTAMP=<file>] [-DSTRICT=ON]
#         -P cmake/check_layer_includes.cmake
# Fails, naming each file and include, when a file includes a header of a layer
# its own layer may not use. Exceptions that match nothing any more are
# reported; with STRICT they fail the check too, so the list is kept short.
# On success it writes STAMP (when given) for the build to see.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/HalvaneLayers.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

if(NOT ROOT OR NOT IS_DIRECTORY "${ROOT}")
  message(FATAL_ERROR "check_layer_includes: ROOT must name the src folder (got '${ROOT}')")
endif()
halvane_check_layer_includes("${ROOT}" failures stale ${LAYERS})
if(stale)
  list(JOIN stale "\n  " text)
  if(STRICT)
    message(SEND_ERROR "Layer exceptions that no longer match an include (delete them from cmake/layers.cmake):\n  ${text}")
  else()
    message(WARNING "Layer exceptions that no longer match an include (delete them from cmake/layers.cmake):\n  ${text}")
  endif()
endif()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Includes that reach a layer above (see cmake/layers.cmake):\n  ${text}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
