# The desktop-class installation and the Debian package: man pages, bash completion, AppStream
# metainfo, icons in the hicolor sizes, the package's copyright and changelog, and CPack's DEB
# generator (dependencies from dpkg-shlibdeps). The menu entry, the scalable and 256x256 icons
# are installed with the window (src/gui/extra.cmake).
#
# The "package" preset builds it: cmake --preset package && cmake --build --preset package &&
# ctest --preset package (the tests make the .deb, check it, install it with apt, run the
# installed programs and remove it again).
option(ZADARI_PACKAGE "Build for the Debian package: distribution flags and the package checks"
       OFF)

set(ZADARI_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# The AppStream component and the web addresses software centres show. The project has no public
# site yet: the defaults use the reserved "example" domain (RFC 2606) and are to be set once it
# has one, before the first package is published (the component id must not change after that).
set(ZADARI_APP_ID "example.zadari.zadari" CACHE STRING "AppStream component id (reverse DNS)")
set(ZADARI_HOMEPAGE "" CACHE STRING "The project's web page (none when empty)")
set(ZADARI_SCREENSHOT_URL "https://zadari.example/screenshots/main-window.png"
    CACHE STRING "Where the published copy of docs/screenshot.png is served")
set(ZADARI_MAINTAINER "Zadari maintainers <maintainers@users.noreply.c-seed-88f359db.example>"
    CACHE STRING "The package's Maintainer field")

# The vendor library of the SDK family is looked for beside the program and, for an installed
# program, in the program's own folder under the system's library directory.
set(ZADARI_LIBRARY_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/${PROJECT_NAME})
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/app/SR_Hisi.cpp APPEND
             PROPERTY COMPILE_DEFINITIONS "ZADARI_LIBRARY_DIR=\"${ZADARI_LIBRARY_DIR}\"")

if(ZADARI_PACKAGE)
    # Debian's build flags with every hardening feature (fortified functions, stack protector,
    # read-only relocations, immediate binding), as a package built by debhelper would get them.
    find_program(ZADARI_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${ZADARI_DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE flags
            OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(ZADARI_DEB_${kind} UNIX_COMMAND "${flags}")
    endforeach()
    target_compile_options(zadari_options INTERFACE ${ZADARI_DEB_CPPFLAGS} ${ZADARI_DEB_CXXFLAGS})
    target_link_options(zadari_options INTERFACE ${ZADARI_DEB_LDFLAGS})
endif()

# Man pages (with the project's version) and the package's changelog are installed compressed
# (gzip -n: no time stamp).
set(ZADARI_GZIPPED)
set(docs_out ${CMAKE_BINARY_DIR}/packaging)
function(zadari_gzip source output)
    add_custom_command(
        OUTPUT ${output} COMMAND gzip -9 -n -c ${source} > ${output} DEPENDS ${source}
        COMMENT "Compressing ${source}" VERBATIM)
    set(ZADARI_GZIPPED ${ZADARI_GZIPPED} ${output} PARENT_SCOPE)
endfunction()
set(man_pages zadari-cli.1)
if(ZADARI_BUILD_GUI)
    list(APPEND man_pages zadari.1)
endif()
foreach(page IN LISTS man_pages)
    configure_file(${ZADARI_PACKAGING_DIR}/${page} ${docs_out}/${page} @ONLY)
    zadari_gzip(${docs_out}/${page} ${docs_out}/${page}.gz)
endforeach()
zadari_gzip(${ZADARI_PACKAGING_DIR}/changelog ${docs_out}/changelog.Debian.gz)
add_custom_target(zadari_docs ALL DEPENDS ${ZADARI_GZIPPED})

install(FILES ${docs_out}/zadari-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZADARI_PACKAGING_DIR}/zadari-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zadari-cli)
install(FILES ${ZADARI_PACKAGING_DIR}/copyright ${docs_out}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZADARI_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${PROJECT_NAME})
if(ZADARI_BUILD_GUI)
    install(FILES ${docs_out}/zadari.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set(ZADARI_METAINFO_URLS)
    if(ZADARI_HOMEPAGE)
        set(ZADARI_METAINFO_URLS "  <url type=\"homepage\">${ZADARI_HOMEPAGE}</url>\n")
    endif()
    configure_file(${ZADARI_PACKAGING_DIR}/zadari.metainfo.xml.in
                   ${docs_out}/${ZADARI_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${docs_out}/${ZADARI_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 22 24 32 48 64 128 512)
        install(FILES ${ZADARI_PACKAGING_DIR}/icons/${size}x${size}/zadari.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()

# The package. File and directory permissions are Debian's (0644, 0755); the programs are
# stripped as dh_strip does it.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ZADARI_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Zadari maintainers")
set(CPACK_PACKAGE_CONTACT ${ZADARI_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and configure the IP cameras of the local network")
file(READ ${ZADARI_PACKAGING_DIR}/description CPACK_PACKAGE_DESCRIPTION)
set(CPACK_GENERATOR DEB)
set(CPACK_ZADARI_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${ZADARI_PACKAGING_DIR}/strip.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZADARI_DEB_ARCH})
set(ZADARI_DEB_FILE
    ${PROJECT_NAME}_${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}_${ZADARI_DEB_ARCH}.deb)
set(CPACK_DEBIAN_FILE_NAME ${ZADARI_DEB_FILE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(ZADARI_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZADARI_HOMEPAGE})
endif()
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
include(CPack)

if(ZADARI_PACKAGE)
    enable_testing()
    include(${ZADARI_PACKAGING_DIR}/tests.cmake)
elseif(ZADARI_TESTS)
    # Every build with tests checks that the manual page and the completion know every command,
    # option, exit code and variable the program's --help texts name (only help is asked for).
    enable_testing()
    add_test(NAME package.docs
             COMMAND python3 ${ZADARI_PACKAGING_DIR}/check.py docs $<TARGET_FILE:zadari-cli>
                     ${docs_out}/zadari-cli.1.gz ${ZADARI_PACKAGING_DIR}/zadari-cli.bash-completion)
    set_tests_properties(package.docs PROPERTIES LABELS package TIMEOUT 60)
endif()
