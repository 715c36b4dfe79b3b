# Compiles a resource list into C++ source: one byte array per resource and a ModuleResourceTable.
#
# As a script: cmake -DMANIFEST=list -DOUTPUT=file.cpp -DSYMBOL=name -DMODULE_NAME=text -P EmbedResources.cmake
# Each line of the list: TYPE NAME FILE, where TYPE is BITMAP or RCDATA (or any other word, a named type),
# NAME is a number (an integer identifier) or a word, and FILE is relative to the list. '#' starts a
# comment. A BITMAP keeps only what follows the 14-byte file header of its .bmp file, as resources do.
#
# As an include: kiv_embed_resources(TARGET target MANIFEST list SYMBOL name) adds the generated source
# to target and regenerates it when the list or a listed file changes.

function(kiv_read_resource_list manifest out_entries)
  file(STRINGS "${manifest}" lines)
  set(entries "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 3)
      message(FATAL_ERROR "${manifest}: expected 'TYPE NAME FILE', got '${line}'")
    endif()
    list(APPEND entries "${line}")
  endforeach()
  set(${out_entries} "${entries}" PARENT_SCOPE)
endfunction()

function(kiv_embed_resources)
  cmake_parse_arguments(ARG "" "TARGET;MANIFEST;SYMBOL" "" ${ARGN})
  get_filename_component(manifest "${ARG_MANIFEST}" ABSOLUTE)
  get_filename_component(base "${manifest}" DIRECTORY)
  kiv_read_resource_list("${manifest}" entries)
  set(depends "${manifest}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "[ \t]+" ";" fields "${entry}")
    list(GET fields 2 file)
    list(APPEND depends "${base}/${file}")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${manifest}")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${ARG_SYMBOL}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -DMANIFEST=${manifest} -DOUTPUT=${output} -DSYMBOL=${ARG_SYMBOL}
            -DMODULE_NAME=${ARG_TARGET} -P "${KIV_EMBED_RESOURCES_SCRIPT}"
    DEPENDS ${depends} "${KIV_EMBED_RESOURCES_SCRIPT}"
    COMMENT "Compiling resources of ${ARG_TARGET}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE "${output}")
endfunction()

set(KIV_EMBED_RESOURCES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}" CACHE INTERNAL "")

if(CMAKE_SCRIPT_MODE_FILE AND MANIFEST)
  get_filename_component(base "${MANIFEST}" DIRECTORY)
  kiv_read_resource_list("${MANIFEST}" entries)
  set(arrays "")
  set(table "")
  set(index 0)
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "[ \t]+" ";" fields "${entry}")
    list(GET fields 0 type)
    list(GET fields 1 name)
    list(GET fields 2 file)
    if(type STREQUAL "BITMAP")
      set(type_field "2, nullptr")
      file(READ "${base}/${file}" hex OFFSET 14 HEX)
    elseif(type STREQUAL "RCDATA")
      set(type_field "10, nullptr")
      file(READ "${base}/${file}" hex HEX)
    else()
      set(type_field "0, L\"${type}\"")
      file(READ "${base}/${file}" hex HEX)
    endif()
    if(name MATCHES "^[0-9]+$")
      set(name_field "${name}, nullptr")
    else()
      set(name_field "0, L\"${name}\"")
    endif()
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
    string(APPEND arrays "alignas(4) const BYTE resource${index}[] = {\n    ${bytes}0};\n")
    string(APPEND table "    {${type_field}, ${name_field}, resource${index}, ${size}},\n")
    math(EXPR index "${index} + 1")
  endforeach()
  if(index EQUAL 0)
    set(table_expr "{\"${MODULE_NAME}\", nullptr, 0}")
  else()
    set(table_expr "{\"${MODULE_NAME}\", entries, ${index}}")
    set(table "const ModuleResourceEntry entries[] = {\n${table}};\n")
  endif()
  file(WRITE "${OUTPUT}.new"
"// Generated from ${MANIFEST}; do not edit.
#include \"platform/ModuleResources.h\"

namespace {
${arrays}${table}}  // namespace

extern const ModuleResourceTable ${SYMBOL};
const ModuleResourceTable ${SYMBOL} = ${table_expr};
")
  file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.new")
endif()
