# Writes a C++ source that holds the text of every schema script, so that the library applies
# the schema without reading files at run time.
#   cmake -DSCHEMA_DIR=<folder of NNNN_name.sql> -DOUTPUT=<file.cpp> [-DNAMESPACE=kvad::db::pg]
#         -P EmbedSchema.cmake
# NAMESPACE (kvad::db unless given) lets each backend embed the same scripts.

cmake_minimum_required(VERSION 3.25)

file(GLOB scripts RELATIVE ${SCHEMA_DIR} ${SCHEMA_DIR}/*.sql)
list(SORT scripts COMPARE NATURAL)
if(NOT scripts)
    message(FATAL_ERROR "no schema scripts in ${SCHEMA_DIR}")
endif()

if(NOT NAMESPACE)
    set(NAMESPACE "kvad::db")
endif()
set(delimiter "kvad_schema")
set(entries "")
set(seen_versions "")
foreach(name IN LISTS scripts)
    if(NOT name MATCHES "^([0-9]+)_[A-Za-z0-9_]+\\.sql$")
        message(FATAL_ERROR "schema script ${name}: the name must be NNNN_description.sql")
    endif()
    string(REGEX REPLACE "^0+([0-9])" "\\1" version "${CMAKE_MATCH_1}")
    if(version IN_LIST seen_versions)
        message(FATAL_ERROR "schema script ${name}: version ${version} is used twice")
    endif()
    list(APPEND seen_versions ${version})
    file(READ ${SCHEMA_DIR}/${name} text)
    string(FIND "${text}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "schema script ${name} contains the literal delimiter ${delimiter}")
    endif()
    string(APPEND entries "    {${version}, \"${name}\", R\"${delimiter}(${text})${delimiter}\"},\n")
endforeach()

set(content "// Generated from schema/*.sql by cmake/EmbedSchema.cmake. Do not edit.
#include \"schema_scripts.h\"

namespace ${NAMESPACE} {
namespace {
constexpr SchemaScript kScripts[] = {
${entries}};
} // namespace

std::span<const SchemaScript> EmbeddedSchemaScripts() noexcept { return kScripts; }

} // namespace ${NAMESPACE}
")
file(WRITE ${OUTPUT}.tmp "${content}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
