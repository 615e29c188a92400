# Turns files into a C++ source that defines
#   std::string_view plotvane::DesignerAsset(std::string_view Name)
# returning each file's bytes by its file name (empty for other names).
# Run as: cmake -DOUTPUT=out.cpp -DINPUTS="a.html;b.js" -P EmbedFiles.cmake
set(body "")
set(lookup "")
set(index 0)
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  # Lines of 16 bytes keep the generated file readable by editors.
  string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n  " bytes "${bytes}")
  math(EXPR size "${hex_length} / 2")
  string(APPEND body "constexpr char File${index}[${size} + 1] = {\n  ${bytes}'\\0'};\n")
  string(APPEND lookup "    if (Name == \"${name}\") return {File${index}, ${size}};\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from designer/page/ by cmake/EmbedFiles.cmake; do not edit.
#include <string_view>

namespace plotvane {

namespace {
${body}}  // namespace

std::string_view DesignerAsset(std::string_view Name) {
${lookup}    return {};
}

}  // namespace plotvane
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
