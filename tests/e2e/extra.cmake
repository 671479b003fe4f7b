# End-to-end tests: network namespaces and the camera simulator (Python 3 standard library).
# Without root or iproute2 the namespace tests exit 77, which ctest reports as skipped.
add_test(NAME e2e.harness COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/harness.py --selftest)
set_tests_properties(e2e.harness PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 60)
add_test(NAME e2e.camsim.unit COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim.py --unit)
set_tests_properties(e2e.camsim.unit PROPERTIES LABELS e2e TIMEOUT 60)
add_test(NAME e2e.camsim COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim.py)
set_tests_properties(e2e.camsim PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 300)
# The simulator's WS-Discovery, SSDP and mDNS side, checked by our clients and by real ones
# (gssdp-discover, nmap, python3-zeroconf, avahi-browse), and the real peers of peers.py.
add_test(NAME e2e.camsim.standards.unit
         COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim_standards.py --unit)
set_tests_properties(e2e.camsim.standards.unit PROPERTIES LABELS e2e TIMEOUT 60)
add_test(NAME e2e.camsim.standards COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_camsim_standards.py)
set_tests_properties(e2e.camsim.standards PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 300)
# zadari-cli search against the simulator: one ctest per case.
foreach(search_case families ageing every-third-tick ip-echo no-default-route two-adapters
        two-families-one-row formats)
    add_test(NAME e2e.search.${search_case}
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_search.py
                     --cli $<TARGET_FILE:zadari-cli> ${search_case})
    set_tests_properties(e2e.search.${search_case} PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e
                         TIMEOUT 120)
endforeach()
add_test(NAME e2e.search.usage COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_search.py
         --cli $<TARGET_FILE:zadari-cli> --usage)
set_tests_properties(e2e.search.usage PROPERTIES LABELS e2e TIMEOUT 60)
# The flood, shortened; bench/load/flood.py runs the full minute.
add_test(NAME e2e.flood
         COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_flood.py
                 --cli $<TARGET_FILE:zadari-cli> --seconds 10)
# A small AddressSanitizer quarantine: the default one (256 MB of freed blocks held back) would
# look like growing memory to the flatness check.
set_tests_properties(e2e.flood PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 180 RUN_SERIAL TRUE
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=1:thread_local_quarantine_size_kb=64")
# The family-9 client and zadari-cli upgrade (families 2, 3 and 9) against the simulator.
add_test(NAME e2e.family9 COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_family9.py
         --cli $<TARGET_FILE:zadari-cli>)
set_tests_properties(e2e.family9 PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 600)
# zadari-cli apply: every broadcast family's command changes the simulated camera; the cases
# that must send nothing (family 7, family 1 without protocolVersion 2, HDS with gateway 0.0.0.0).
add_test(NAME e2e.apply COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_apply.py
         --cli $<TARGET_FILE:zadari-cli>)
set_tests_properties(e2e.apply PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 300)

# zadari-cli adapters in a namespace with known addresses, routes and name servers.
add_test(NAME e2e.adapters COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_adapters.py
         --cli $<TARGET_FILE:zadari-cli>)
set_tests_properties(e2e.adapters PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 120)
# The main window against the simulator (driven by the GUI test program inside the namespace).
if(TARGET zadari_test_gui)
    add_test(NAME e2e.gui COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_gui.py
                                  --gui-test $<TARGET_FILE:zadari_test_gui>)
    set_tests_properties(e2e.gui PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 300)
endif()
# zadari-cli search --sdk and apply with the vendor library's test double beside the program.
if(TARGET DVSNETClient)
    add_test(NAME e2e.sdk COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_sdk_cli.py
             --cli $<TARGET_FILE:zadari-cli> --library $<TARGET_FILE:DVSNETClient>)
    set_tests_properties(e2e.sdk PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 120)
endif()
# Standard discovery in zadari-cli search: simulated ONVIF, UPnP and mDNS devices on two
# adapters, one row per device, the real peers (avahi-daemon, a UPnP light, wsdd) and Bye.
foreach(standards_case simulated one-row peers bye)
    add_test(NAME e2e.standards.${standards_case}
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_standards.py
                     --cli $<TARGET_FILE:zadari-cli> ${standards_case})
    set_tests_properties(e2e.standards.${standards_case} PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e
                         TIMEOUT 180)
endforeach()
# What scripts and services use: search --watch, --interface, the password from the environment
# or a file. One ctest per case.
foreach(scripting_case watch watch-sigterm interface password)
    add_test(NAME e2e.scripting.${scripting_case}
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_scripting.py
                     --cli $<TARGET_FILE:zadari-cli> ${scripting_case})
    set_tests_properties(e2e.scripting.${scripting_case} PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e
                         TIMEOUT 180)
endforeach()
# zadari-cli's help, version and usage errors (nothing is sent: no namespaces needed).
add_test(NAME e2e.cli.usage COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_cli.py
         --cli $<TARGET_FILE:zadari-cli> --version ${PROJECT_VERSION})
set_tests_properties(e2e.cli.usage PROPERTIES LABELS e2e TIMEOUT 120)
# Re-addressing many cameras: zadari-cli plan and apply --plan.
add_test(NAME e2e.fleet COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_fleet.py
         --cli $<TARGET_FILE:zadari-cli>)
set_tests_properties(e2e.fleet PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 400)
# Firmware for many cameras at once: zadari-cli upgrade with several --mac.
add_test(NAME e2e.fleet_upgrade COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_fleet_upgrade.py
         --cli $<TARGET_FILE:zadari-cli>)
set_tests_properties(e2e.fleet_upgrade PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e TIMEOUT 400)
# ONVIF configuration: the simulator's device service called directly, then zadari-cli info
# and apply against an ONVIF-only camera in the namespaces. One ctest per case.
add_test(NAME e2e.onvif.unit COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_onvif.py --unit)
set_tests_properties(e2e.onvif.unit PROPERTIES LABELS e2e TIMEOUT 60)
foreach(onvif_case readdress dhcp wrong-password)
    add_test(NAME e2e.onvif.${onvif_case}
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_onvif.py
                     --cli $<TARGET_FILE:zadari-cli> ${onvif_case})
    set_tests_properties(e2e.onvif.${onvif_case} PROPERTIES SKIP_RETURN_CODE 77 LABELS e2e
                         TIMEOUT 180)
endforeach()
