# Run by CPack after it has installed the files into its staging folder: strips the programs as
# Debian's dh_strip does, dropping the symbol tables and the .comment and .note sections.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs to strip below ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND ${CPACK_ZADARI_STRIP} --remove-section=.comment --remove-section=.note
                            ${program} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
