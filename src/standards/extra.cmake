# DNS wire format (name compression included) is read by ldns.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LDNS REQUIRED IMPORTED_TARGET ldns)
target_link_libraries(zadari_standards PRIVATE PkgConfig::LDNS)
