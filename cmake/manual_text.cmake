# Writes the manual page as plain text, for the Windows zip, where no man
# program reads it: cmake -DSOURCE=page.1 -DOUTPUT=page.txt -DGROFF=groff -P manual_text.cmake
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${SOURCE} OUTPUT_FILE ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
