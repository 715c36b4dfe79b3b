# Compiles a resource list into C++ source: one byte array per resource and a ModuleResourceTable.
#
# As a script: cmake -DMANIFEST=list -DOUTPUT=file.cpp -DSYMBOL=name -DMODULE_NAME=text -P EmbedResources.cmake
# Each line of the list: TYPE NAME FILE [LANGID], where TYPE is BITMAP, DIALOG, STRING or RCDATA (or any
# other word, a named type), NAME is a number (an integer identifier) or a word, FILE is relative to the
# list, and LANGID is the resource's language as a decimal number (1033, 2052, ...; 0 or none: neutral, for
# every language). '#' starts a comment. A BITMAP keeps only what follows the 14-byte file header of its
# .bmp file, as resources do; every other file is taken as it stands.
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
    if(count EQUAL 4)
      list(GET fields 3 language)
    endif()
    if(count LESS 3 OR count GREATER 4 OR (count EQUAL 4 AND NOT language MATCHES "^[0-9]+$"))
      message(FATAL_ERROR "${manifest}: expected 'TYPE NAME FILE [LANGID]', got '${line}'")
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
    set(language 0)
    list(LENGTH fields count)
    if(count EQUAL 4)
      list(GET fields 3 language)
    endif()
    set(type_ids BITMAP 2 DIALOG 5 STRING 6 RCDATA 10)
    list(FIND type_ids "${type}" type_index)
    if(type_index GREATER_EQUAL 0)
      math(EXPR type_index "${type_index} + 1")
      list(GET type_ids ${type_index} type_id)
      set(type_field "${type_id}, nullptr")
    else()
      set(type_field "0, L\"${type}\"")
    endif()
    if(type STREQUAL "BITMAP")
      file(READ "${base}/${file}" hex OFFSET 14 HEX)
    else()
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
    string(APPEND table "    {${type_field}, ${name_field}, resource${index}, ${size}, ${language}},\n")
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
