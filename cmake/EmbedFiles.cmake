# Writes OUTPUT, a C++ source that holds each of FILES (in FOLDER) whole, as a raw string literal:
# the program then carries them and needs nothing beside it. Run as cmake -P with -DOUTPUT,
# -DFOLDER and -DFILES (a list, separated by semicolons).
set(delimiter "velo(")
set(source "// Made by cmake/EmbedFiles.cmake from ${FOLDER}: edit those files, not this one.\n")
string(APPEND source "#include \"console/Page.h\"\n\nnamespace console {\n\n")
string(APPEND source "std::span<const PageFile> PageFiles() {\n  static constexpr PageFile kFiles[] = {\n")
foreach(name IN LISTS FILES)
  file(READ "${FOLDER}/${name}" text)
  string(FIND "${text}" ")velo\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name} holds )velo\", which would end its literal early")
  endif()
  string(APPEND source "      {\"${name}\", R\"${delimiter}${text})velo\"},\n")
endforeach()
string(APPEND source "  };\n  return kFiles;\n}\n\n}  // namespace console\n")
file(WRITE "${OUTPUT}.new" "${source}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
