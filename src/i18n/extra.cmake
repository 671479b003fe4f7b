# The seven language files are kept as UTF-8 in src/i18n/lang and converted to their own code
# pages when the program is built; the converted bytes are embedded in zadari_i18n.
find_program(ZADARI_ICONV iconv REQUIRED)
set(zadari_lang_dir ${CMAKE_SOURCE_DIR}/src/i18n/lang)
set(zadari_lang_sources)
foreach(code cn en spa b5 fr ru jp)
    list(APPEND zadari_lang_sources ${zadari_lang_dir}/${code}.ini)
endforeach()
set(zadari_lang_generated ${CMAKE_BINARY_DIR}/generated/i18n/EmbeddedLanguageData.cpp)
add_custom_command(
    OUTPUT ${zadari_lang_generated}
    COMMAND ${CMAKE_COMMAND} -DLANG_DIR=${zadari_lang_dir} -DOUTPUT=${zadari_lang_generated}
            -DICONV=${ZADARI_ICONV} -P ${zadari_lang_dir}/EmbedLanguages.cmake
    DEPENDS ${zadari_lang_sources} ${zadari_lang_dir}/EmbedLanguages.cmake
    COMMENT "Converting the language files to their code pages"
    VERBATIM)
target_sources(zadari_i18n PRIVATE ${zadari_lang_generated})
set_source_files_properties(${zadari_lang_generated} PROPERTIES SKIP_AUTOMOC ON SKIP_AUTOUIC ON)
