# Writes the manual page with the program's version in its title line, then
# compresses it the way Debian installs manual pages: gzip -9, without the
# file's name and time stamp, so that the same page gives the same bytes.
#
#   cmake -DSOURCE=page.1 -DOUTPUT=page.1.gz -DVERSION=text -DGZIP=gzip -P manual_page.cmake
file(READ ${SOURCE} page)
string(REGEX REPLACE "^(\\.TH [^\n]*\"durandex )[^\"]*\"" "\\1${VERSION}\"" page "${page}")
if(NOT page MATCHES "^\\.TH [^\n]*\"durandex ${VERSION}\"")
    message(FATAL_ERROR "${SOURCE} must begin with a .TH line naming \"durandex VERSION\"")
endif()
string(REGEX REPLACE "\\.gz$" "" uncompressed ${OUTPUT})
file(WRITE ${uncompressed} "${page}")
execute_process(COMMAND ${GZIP} -9nf ${uncompressed} COMMAND_ERROR_IS_FATAL ANY)
