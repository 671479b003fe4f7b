# Converts the UTF-8 language sources to the code page each language file is written in, with
# CR LF line ends, and writes a C++ source that embeds the bytes in store order.
#   cmake -DLANG_DIR=<folder of the .ini sources> -DOUTPUT=<file.cpp> -DICONV=<iconv> -P this
cmake_minimum_required(VERSION 3.25)

# Store order, and the encoding of each file (iconv names; LanguageEncoding() reads them back).
set(store cn:CP936 en:ASCII spa:CP1252 b5:CP950 fr:CP1252 ru:CP1251 jp:CP932)

get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")

set(arrays "")
set(items "")
foreach(entry IN LISTS store)
    string(REPLACE ":" ";" pair "${entry}")
    list(GET pair 0 code)
    list(GET pair 1 encoding)

    file(READ "${LANG_DIR}/${code}.ini" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    set(crlf "${out_dir}/${code}.utf8")
    set(converted "${out_dir}/${code}.bin")
    file(WRITE "${crlf}" "${text}")
    execute_process(COMMAND "${ICONV}" -f UTF-8 -t ${encoding} INPUT_FILE "${crlf}"
                    OUTPUT_FILE "${converted}" ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${code}.ini cannot be written in ${encoding}: ${err}")
    endif()

    file(READ "${converted}" hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char k_${code}[${size}] = {${bytes}};\n")
    string(APPEND items "    {\"${code}\", k_${code}, ${size}},\n")
endforeach()

set(source "// Generated from src/i18n/lang/*.ini by EmbedLanguages.cmake. Do not edit.
#include \"i18n/EmbeddedLanguages.h\"

namespace zadari {
namespace {
${arrays}
const TEmbeddedLanguageFile kFiles[] = {
${items}};
} // namespace

std::span<const TEmbeddedLanguageFile> EmbeddedLanguageFiles() {
    return kFiles;
}

} // namespace zadari
")
file(WRITE "${OUTPUT}" "${source}")
