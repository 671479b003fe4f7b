# The vendor library's test double, placed where the finder looks for it: 402/ beside the test
# program.
add_library(DVSNETClient SHARED ${CMAKE_CURRENT_SOURCE_DIR}/sdk/double/DvsNetClientDouble.cpp)
target_link_libraries(DVSNETClient PRIVATE zadari_options Threads::Threads)
set_target_properties(DVSNETClient PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/402
                                              AUTOMOC OFF)
if(TARGET zadari_test_sdk)
    add_dependencies(zadari_test_sdk DVSNETClient)
endif()
