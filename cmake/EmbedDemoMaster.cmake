# Writes a C++ source that holds the text of every demo master-data file, so that the nso host
# loads the demo set without reading files at run time.
#   cmake -DMASTER_DIR=<folder of <kind>.csv> -DOUTPUT=<file.cpp> -P EmbedDemoMaster.cmake

cmake_minimum_required(VERSION 3.25)

file(GLOB files RELATIVE ${MASTER_DIR} ${MASTER_DIR}/*.csv)
list(SORT files)
set(delimiter "kvad_master")
set(entries "")
foreach(name IN LISTS files)
    file(READ ${MASTER_DIR}/${name} text)
    string(FIND "${text}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${name} contains the literal delimiter ${delimiter}")
    endif()
    string(APPEND entries "    {\"${name}\", R\"${delimiter}(${text})${delimiter}\"},\n")
endforeach()

set(content "// Generated from examples/master/*.csv by cmake/EmbedDemoMaster.cmake. Do not edit.
#include \"demo_master_files.h\"

namespace kvad::host {
namespace {
constexpr DemoMasterFile kFiles[] = {
${entries}};
} // namespace

std::span<const DemoMasterFile> DemoMasterFiles() noexcept { return kFiles; }

} // namespace kvad::host
")
file(WRITE ${OUTPUT}.tmp "${content}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
