# The station's layers: one static library per subsystem, each linking only the
# layers below it. The table itself is cmake/layers.cmake; this file holds the
# functions that read it, build the libraries from it and check the code
# against it. It is included both by the build and, in script mode, by the
# include check (cmake/check_layer_includes.cmake), so it uses only commands
# that work in both.
#
# Rules the table states and the checks enforce:
# - Layers are listed bottom-up, each in a tier; tiers never go down the list.
# - A layer uses (includes and links) only layers listed before it, of its own
#   tier or a lower one, and everything those use in turn.
# - A header named PRIVATE_HEADERS of a layer is included only inside that layer.
# - System headers named by SYSTEM_HEADERS (for example FL) are included only by
#   the layer that names them.
# - A known reach-up stays buildable only as a halvane_layer_exception entry:
#   one file, one include, a reason. The file's layer then also links the layer
#   it reaches.

# The functions below hold the policies of this version whoever includes them.
cmake_policy(VERSION 3.25)

# halvane_layer_tiers(TIER...): the tiers, lowest first.
function(halvane_layer_tiers)
  set_property(GLOBAL PROPERTY HV_TIERS ${ARGN})
endfunction()

function(_hv_fail text)
  message(FATAL_ERROR "Layer table: ${text}")
endfunction()

# halvane_layer(NAME TIER tier DIRS folder... [USES layer...] [LIBS item...]
#               [PRIVATE_HEADERS header...] [SYSTEM_HEADERS prefix...])
# DIRS are folders under src/; LIBS are the outside libraries the layer links.
function(halvane_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIER" "DIRS;USES;LIBS;PRIVATE_HEADERS;SYSTEM_HEADERS")
  if(arg_UNPARSED_ARGUMENTS)
    _hv_fail("${name}: unknown words ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_property(tiers GLOBAL PROPERTY HV_TIERS)
  get_property(layers GLOBAL PROPERTY HV_LAYERS)
  list(FIND tiers "${arg_TIER}" rank)
  if(rank LESS 0)
    _hv_fail("${name}: tier '${arg_TIER}' is not one of ${tiers}")
  endif()
  if(name IN_LIST layers)
    _hv_fail("${name} is listed twice")
  endif()
  if(NOT arg_DIRS)
    _hv_fail("${name} names no folder")
  endif()
  if(layers)
    list(GET layers -1 previous)
    get_property(previousRank GLOBAL PROPERTY HV_LAYER_${previous}_RANK)
    if(rank LESS previousRank)
      _hv_fail("${name} (tier ${arg_TIER}) is listed after ${previous}, which is in a higher tier")
    endif()
  endif()
  set(reach "")
  foreach(used IN LISTS arg_USES)
    if(NOT used IN_LIST layers)
      _hv_fail("${name} uses ${used}, which is not a layer listed before it")
    endif()
    get_property(usedReach GLOBAL PROPERTY HV_LAYER_${used}_REACH)
    list(APPEND reach ${used} ${usedReach})
  endforeach()
  list(REMOVE_DUPLICATES reach)
  foreach(dir IN LISTS arg_DIRS)
    get_property(owner GLOBAL PROPERTY HV_DIR_${dir})
    if(owner)
      _hv_fail("folder ${dir} belongs to both ${owner} and ${name}")
    endif()
    set_property(GLOBAL PROPERTY HV_DIR_${dir} ${name})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY HV_LAYERS ${name})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_RANK ${rank})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_TIER ${arg_TIER})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_DIRS ${arg_DIRS})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_USES ${arg_USES})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_REACH ${reach})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_LIBS ${arg_LIBS})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_PRIVATE_HEADERS ${arg_PRIVATE_HEADERS})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_SYSTEM_HEADERS ${arg_SYSTEM_HEADERS})
  set_property(GLOBAL PROPERTY HV_LAYER_${name}_EXTRA_LINKS "")
endfunction()

# halvane_layer_of(PATH VAR): the layer whose folder holds PATH (a path under
# src/, or an include such as "ui/toolkit/xs.h"); empty when none does. The
# longest matching folder wins.
function(halvane_layer_of path var)
  set(found "")
  set(foundLength 0)
  string(REPLACE "/" ";" parts "${path}")
  list(LENGTH parts count)
  math(EXPR last "${count} - 2")
  set(prefix "")
  if(last GREATER_EQUAL 0)
    foreach(i RANGE 0 ${last})
      list(GET parts ${i} part)
      if(prefix)
        set(prefix "${prefix}/${part}")
      else()
        set(prefix "${part}")
      endif()
      get_property(owner GLOBAL PROPERTY HV_DIR_${prefix})
      if(owner)
        set(found ${owner})
      endif()
    endforeach()
  endif()
  set(${var} "${found}" PARENT_SCOPE)
endfunction()

# halvane_layer_exception(FILE INCLUDE REASON): FILE (under src/) may include
# INCLUDE although that reaches a layer its own layer may not use.
function(halvane_layer_exception file include reason)
  halvane_layer_of("${file}" from)
  halvane_layer_of("${include}" to)
  if(NOT from OR NOT to)
    _hv_fail("exception ${file} -> ${include}: both must lie in a layer's folder")
  endif()
  if(NOT reason)
    _hv_fail("exception ${file} -> ${include} gives no reason")
  endif()
  set_property(GLOBAL APPEND PROPERTY HV_EXCEPTIONS "${file}|${include}")
  if(NOT from STREQUAL to)
    set_property(GLOBAL APPEND PROPERTY HV_LAYER_${from}_EXTRA_LINKS ${to})
  endif()
endfunction()

# halvane_layer_may_include(LAYER INCLUDE FILE VAR): VAR is empty when FILE of
# LAYER may include INCLUDE under the table (exceptions aside), else the reason.
function(halvane_layer_may_include layer include file var)
  set(${var} "" PARENT_SCOPE)
  get_property(layers GLOBAL PROPERTY HV_LAYERS)
  string(REGEX MATCH "^[^/]+" top "${include}")
  foreach(other IN LISTS layers)
    if(NOT other STREQUAL layer)
      get_property(systemHeaders GLOBAL PROPERTY HV_LAYER_${other}_SYSTEM_HEADERS)
      if(top IN_LIST systemHeaders)
        set(${var} "${top}/ headers belong to layer ${other} alone" PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  halvane_layer_of("${include}" to)
  if(NOT to OR to STREQUAL layer)
    return()
  endif()
  get_property(privateHeaders GLOBAL PROPERTY HV_LAYER_${to}_PRIVATE_HEADERS)
  if(include IN_LIST privateHeaders)
    set(${var} "${include} is private to layer ${to}" PARENT_SCOPE)
    return()
  endif()
  get_property(reach GLOBAL PROPERTY HV_LAYER_${layer}_REACH)
  if(NOT to IN_LIST reach)
    list(JOIN reach " " reachText)
    if(NOT reachText)
      set(reachText "no other layer")
    endif()
    set(${var} "layer ${layer} may not use layer ${to} (it may use: ${reachText})" PARENT_SCOPE)
  endif()
endfunction()

# halvane_check_layer_includes(ROOT FAILURES_VAR STALE_VAR [LAYER...]): reads
# every C++ file in the folders of the given layers (all when none are given)
# under ROOT (a src/ folder) and returns the includes that break the table as
# "file: include: reason" lines, and the exceptions for those layers that no
# longer match any include.
function(halvane_check_layer_includes root failuresVar staleVar)
  set(layers ${ARGN})
  if(NOT layers)
    get_property(layers GLOBAL PROPERTY HV_LAYERS)
  endif()
  get_property(exceptions GLOBAL PROPERTY HV_EXCEPTIONS)
  set(failures "")
  set(used "")
  foreach(layer IN LISTS layers)
    get_property(dirs GLOBAL PROPERTY HV_LAYER_${layer}_DIRS)
    foreach(dir IN LISTS dirs)
      file(GLOB_RECURSE files RELATIVE "${root}" "${root}/${dir}/*.h" "${root}/${dir}/*.hpp"
           "${root}/${dir}/*.cpp" "${root}/${dir}/*.cc")
      foreach(file IN LISTS files)
        halvane_layer_of("${file}" owner)
        if(NOT owner STREQUAL layer)
          continue()  # a nested folder of another layer
        endif()
        file(STRINGS "${root}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
        foreach(line IN LISTS lines)
          string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" include "${line}")
          halvane_layer_may_include(${layer} "${include}" "${file}" why)
          if(why)
            if("${file}|${include}" IN_LIST exceptions)
              list(APPEND used "${file}|${include}")
            else()
              list(APPEND failures "${file}: #include \"${include}\": ${why}")
            endif()
          endif()
        endforeach()
      endforeach()
    endforeach()
  endforeach()
  set(stale "")
  foreach(exception IN LISTS exceptions)
    string(REGEX REPLACE "\\|.*$" "" file "${exception}")
    halvane_layer_of("${file}" owner)
    if(owner IN_LIST layers AND NOT exception IN_LIST used)
      string(REPLACE "|" " -> " text "${exception}")
      list(APPEND stale "${text}")
    endif()
  endforeach()
  set(${failuresVar} "${failures}" PARENT_SCOPE)
  set(${staleVar} "${stale}" PARENT_SCOPE)
endfunction()

# halvane_check_layer_links(PREFIX): every target PREFIX<layer> links (directly,
# privately or publicly) only targets PREFIX<other> of layers it may use, or
# reaches through an exception. Fails the configure otherwise.
function(halvane_check_layer_links prefix)
  get_property(layers GLOBAL PROPERTY HV_LAYERS)
  set(failures "")
  foreach(layer IN LISTS layers)
    if(NOT TARGET ${prefix}${layer})
      continue()
    endif()
    get_property(reach GLOBAL PROPERTY HV_LAYER_${layer}_REACH)
    get_property(extra GLOBAL PROPERTY HV_LAYER_${layer}_EXTRA_LINKS)
    get_target_property(type ${prefix}${layer} TYPE)
    set(items "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${prefix}${layer} LINK_LIBRARIES)
      if(direct)
        list(APPEND items ${direct})
      endif()
    endif()
    get_target_property(interface ${prefix}${layer} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND items ${interface})
    endif()
    foreach(item IN LISTS items)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(item MATCHES "^${prefix}(.+)$")
        set(other ${CMAKE_MATCH_1})
        if(other IN_LIST layers AND NOT other STREQUAL layer AND NOT other IN_LIST reach
           AND NOT other IN_LIST extra)
          list(APPEND failures "${prefix}${layer} links ${item}: layer ${layer} may not use layer ${other}")
        endif()
      endif()
    endforeach()
  endforeach()
  if(failures)
    list(REMOVE_DUPLICATES failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "A library links a layer above it (see cmake/layers.cmake):\n  ${text}")
  endif()
endfunction()

# _hv_present_layers(LAYERS VAR): LAYERS with each layer whose folder does not
# exist (yet) replaced by the layers it uses, so links pass through it.
function(_hv_present_layers layers var)
  set(present "")
  foreach(layer IN LISTS layers)
    get_property(dirs GLOBAL PROPERTY HV_LAYER_${layer}_DIRS)
    list(GET dirs 0 dir)
    if(IS_DIRECTORY "${HALVANE_SOURCE_ROOT}/${dir}")
      list(APPEND present ${layer})
    else()
      get_property(below GLOBAL PROPERTY HV_LAYER_${layer}_USES)
      _hv_present_layers("${below}" belowPresent)
      list(APPEND present ${belowPresent})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES present)
  set(${var} "${present}" PARENT_SCOPE)
endfunction()

# halvane_layer_library(LAYER SOURCE...): the static library halvane_<LAYER>
# from the given sources (relative to the calling folder). It links what the
# table says: the layers it uses, the layers its exceptions reach, and its
# outside libraries. Building it first runs the include check over the layer's
# folders, so an include that reaches up fails the build.
function(halvane_layer_library layer)
  get_property(layers GLOBAL PROPERTY HV_LAYERS)
  if(NOT layer IN_LIST layers)
    message(FATAL_ERROR "halvane_layer_library: ${layer} is not in cmake/layers.cmake")
  endif()
  get_property(uses GLOBAL PROPERTY HV_LAYER_${layer}_USES)
  get_property(extra GLOBAL PROPERTY HV_LAYER_${layer}_EXTRA_LINKS)
  get_property(libs GLOBAL PROPERTY HV_LAYER_${layer}_LIBS)
  get_property(dirs GLOBAL PROPERTY HV_LAYER_${layer}_DIRS)
  add_library(halvane_${layer} STATIC ${ARGN})
  target_include_directories(halvane_${layer} PUBLIC ${HALVANE_SOURCE_ROOT})
  _hv_present_layers("${uses}" uses)
  list(TRANSFORM uses PREPEND halvane_)
  list(REMOVE_DUPLICATES extra)
  list(TRANSFORM extra PREPEND halvane_)
  target_link_libraries(halvane_${layer} PUBLIC ${uses} ${extra} ${libs})
  if(extra)
    # A reach-up closes a cycle of static libraries. Each step up a chain of
    # calls takes the linker one more pass over the cycle, so it is listed as
    # often as there are layers.
    list(LENGTH layers passes)
    set_property(TARGET halvane_${layer} PROPERTY LINK_INTERFACE_MULTIPLICITY ${passes})
  endif()

  set(watched "")
  foreach(dir IN LISTS dirs)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${HALVANE_SOURCE_ROOT}/${dir}/*.h" "${HALVANE_SOURCE_ROOT}/${dir}/*.hpp"
         "${HALVANE_SOURCE_ROOT}/${dir}/*.cpp" "${HALVANE_SOURCE_ROOT}/${dir}/*.cc")
    list(APPEND watched ${found})
  endforeach()
  set(stamp ${CMAKE_BINARY_DIR}/layer_checks/${layer}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${HALVANE_SOURCE_ROOT} -DLAYERS=${layer} -DSTAMP=${stamp}
            -P ${HALVANE_LAYER_CMAKE_DIR}/check_layer_includes.cmake
    DEPENDS ${watched} ${HALVANE_LAYER_CMAKE_DIR}/layers.cmake ${HALVANE_LAYER_CMAKE_DIR}/HalvaneLayers.cmake
            ${HALVANE_LAYER_CMAKE_DIR}/check_layer_includes.cmake
    COMMENT "Checking the includes of layer ${layer}"
    VERBATIM)
  add_custom_target(halvane_${layer}_includes DEPENDS ${stamp})
  add_dependencies(halvane_${layer} halvane_${layer}_includes)
endfunction()

# halvane_layer_folders(VAR): the top folders under src/ that hold the layers,
# in the table's order, each once (ui holds both ui/toolkit and ui/windows).
function(halvane_layer_folders var)
  get_property(layers GLOBAL PROPERTY HV_LAYERS)
  set(folders "")
  foreach(layer IN LISTS layers)
    get_property(dirs GLOBAL PROPERTY HV_LAYER_${layer}_DIRS)
    foreach(dir IN LISTS dirs)
      string(REGEX MATCH "^[^/]+" top "${dir}")
      list(APPEND folders ${top})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(${var} "${folders}" PARENT_SCOPE)
endfunction()
