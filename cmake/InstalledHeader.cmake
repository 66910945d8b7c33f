# cmake -DSOURCE=... -DTARGET=... -P InstalledHeader.cmake
#
# Copies a public header into the installed layout. In the source tree the headers include
# each other from the project root ("platform/ComBase.h"); installed they sit under
# include/quillax/, so those includes gain the "quillax/" prefix and resolve against the
# include folder alone, without putting generic names such as "platform/" on a host's path.
file(READ "${SOURCE}" text)
string(REGEX REPLACE "#include \"(platform|hosting)/" "#include \"quillax/\\1/" text "${text}")
file(WRITE "${TARGET}.tmp" "${text}")
file(COPY_FILE "${TARGET}.tmp" "${TARGET}" ONLY_IF_DIFFERENT)
file(REMOVE "${TARGET}.tmp")
