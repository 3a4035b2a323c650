# Checks the include direction of the sources (cmake -DSOURCE_DIR=<src> -P).
#
# Every folder under src belongs to a layer; a file may include headers of
# its own layer and of lower layers, never of a higher one:
#
#   platform <- dsp <- audio <- settings <- measurement <- widgets
#            <- windows (display, dialogs, help, generator) <- app
#
# cli sits beside widgets, on measurement: it includes measurement and what
# lies below, and nothing includes cli. The Qt-free folders include no Qt
# header and no header of a folder that is not Qt-free themselves.
#
# A folder missing from the table fails the check, so a new folder gets its
# place in the order when it is made.

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<path to src> -P CheckIncludeLayers.cmake")
endif()

set(layer_platform 0)
set(layer_dsp 1)
set(layer_audio 2)
set(layer_settings 3)
set(layer_measurement 4)
set(layer_cli 5)
set(layer_widgets 5)
set(layer_display 6)
set(layer_dialogs 6)
set(layer_help 6)
set(layer_generator 6)
set(layer_app 7)
# Folders of one layer may include each other; these name the layer.
set(group_display windows)
set(group_dialogs windows)
set(group_help windows)
set(group_generator windows)

# Folders (exactly these, not their subfolders) without Qt.
set(qt_free_dirs platform dsp audio/synthesis audio/wavefile settings)

function(layer_of path out_layer out_group)
  string(REGEX MATCH "^[^/]+" top "${path}")
  if(NOT DEFINED layer_${top})
    set(${out_layer} "" PARENT_SCOPE)
    return()
  endif()
  set(${out_layer} ${layer_${top}} PARENT_SCOPE)
  if(DEFINED group_${top})
    set(${out_group} ${group_${top}} PARENT_SCOPE)
  else()
    set(${out_group} ${top} PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
list(SORT sources)
set(faults "")
foreach(source IN LISTS sources)
  get_filename_component(dir ${source} DIRECTORY)
  layer_of(${source} from_layer from_group)
  if(from_layer STREQUAL "")
    list(APPEND faults "${source}: folder has no layer in cmake/CheckIncludeLayers.cmake")
    continue()
  endif()
  list(FIND qt_free_dirs "${dir}" qt_free)
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      if(NOT qt_free EQUAL -1 AND header MATCHES "^(Q|qt|qg)")
        list(APPEND faults "${source}: includes the Qt header <${header}> in a folder without Qt")
      endif()
      continue()
    endif()
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(header ${CMAKE_MATCH_1})
    if(NOT header MATCHES "/")
      continue() # generated moc files beside the source
    endif()
    layer_of(${header} to_layer to_group)
    if(to_layer STREQUAL "")
      list(APPEND faults "${source}: includes \"${header}\" from a folder that has no layer")
      continue()
    endif()
    get_filename_component(header_dir ${header} DIRECTORY)
    if(NOT qt_free EQUAL -1)
      list(FIND qt_free_dirs "${header_dir}" header_qt_free)
      if(header_qt_free EQUAL -1)
        list(APPEND faults "${source}: includes \"${header}\", which is not Qt-free, in a folder without Qt")
      endif()
    endif()
    if(from_group STREQUAL to_group)
      continue()
    endif()
    if(to_group STREQUAL "cli")
      list(APPEND faults "${source}: includes \"${header}\", but nothing includes the command line")
    elseif(NOT to_layer LESS from_layer)
      list(APPEND faults "${source}: includes \"${header}\" of a higher or parallel layer (${to_group} is not below ${from_group})")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Include layers violated:\n  ${text}")
endif()
message(STATUS "Include layers kept in ${count} files")
