# The package's checks (label "package"), in the order the fixtures give: make the .deb with
# CPack, unpack it and check its files, install it with apt, run the installed programs, and
# purge it again. Installing needs root; without it those tests report skipped.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(deb ${CPACK_PACKAGE_DIRECTORY}/${ZADARI_DEB_FILE})
set(tree ${CMAKE_BINARY_DIR}/deb/tree)
set(check ${Python3_EXECUTABLE} ${ZADARI_PACKAGING_DIR}/check.py)
set(cli ${CMAKE_INSTALL_FULL_BINDIR}/zadari-cli)

add_test(NAME package.deb COMMAND ${CMAKE_CPACK_COMMAND} --config CPackConfig.cmake
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME package.tree COMMAND ${check} tree ${deb} ${tree})
add_test(NAME package.lintian COMMAND lintian --fail-on error,warning --display-info ${deb})
add_test(NAME package.metainfo
         COMMAND appstreamcli validate --no-net --pedantic --explain
                 ${tree}${CMAKE_INSTALL_FULL_DATADIR}/metainfo/${ZADARI_APP_ID}.metainfo.xml)
add_test(NAME package.appstream_tree COMMAND appstreamcli validate-tree --no-net --explain ${tree})
add_test(NAME package.desktop COMMAND ${check} desktop ${tree})
add_test(NAME package.versions
         COMMAND ${check} versions ${PROJECT_VERSION} ${ZADARI_PACKAGING_DIR}/changelog
                 ${ZADARI_PACKAGING_DIR}/zadari.metainfo.xml.in)
add_test(NAME package.completion
         COMMAND ${check} completion ${ZADARI_PACKAGING_DIR}/zadari-cli.bash-completion)
add_test(NAME package.install COMMAND ${check} install ${deb})
add_test(NAME package.cli_version COMMAND ${check} version ${cli} ${PROJECT_VERSION})
add_test(NAME package.cli_adapters COMMAND ${check} adapters ${cli})
add_test(NAME package.cli_docs
         COMMAND ${check} docs ${cli} ${CMAKE_INSTALL_FULL_MANDIR}/man1/zadari-cli.1.gz
                 ${CMAKE_INSTALL_FULL_DATADIR}/bash-completion/completions/zadari-cli)
# The installed program with the vendor library's test double in its library folder, searching
# inside the end-to-end harness's namespaces.
add_library(zadari_package_double SHARED ${CMAKE_SOURCE_DIR}/tests/sdk/double/DvsNetClientDouble.cpp)
target_link_libraries(zadari_package_double PRIVATE zadari_options Threads::Threads)
set_target_properties(zadari_package_double PROPERTIES OUTPUT_NAME DVSNETClient AUTOMOC OFF AUTOUIC OFF
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/double)
add_test(NAME package.cli_sdk
         COMMAND ${Python3_EXECUTABLE} ${ZADARI_PACKAGING_DIR}/test_installed_sdk.py --cli ${cli}
                 --library $<TARGET_FILE:zadari_package_double> --libdir
                 ${ZADARI_LIBRARY_DIR})
add_test(NAME package.remove COMMAND ${check} remove ${PROJECT_NAME})

set_tests_properties(package.deb PROPERTIES FIXTURES_SETUP zadari_deb)
set_tests_properties(package.tree PROPERTIES FIXTURES_SETUP zadari_tree
                                             FIXTURES_REQUIRED zadari_deb)
set_tests_properties(package.lintian package.install PROPERTIES FIXTURES_REQUIRED zadari_deb)
set_tests_properties(package.metainfo package.appstream_tree package.desktop
                     PROPERTIES FIXTURES_REQUIRED zadari_tree)
set_tests_properties(package.install PROPERTIES FIXTURES_SETUP zadari_installed)
set_tests_properties(package.cli_version package.cli_adapters package.cli_docs package.cli_sdk
                     PROPERTIES FIXTURES_REQUIRED zadari_installed)
set_tests_properties(package.remove PROPERTIES FIXTURES_CLEANUP zadari_installed)
get_property(package_tests DIRECTORY PROPERTY TESTS)
list(FILTER package_tests INCLUDE REGEX "^package\\.")
set_tests_properties(${package_tests} PROPERTIES LABELS package SKIP_RETURN_CODE 77)
# apt and dpkg take one lock: the install and the purge run alone.
set_tests_properties(package.install package.remove PROPERTIES RUN_SERIAL ON)
