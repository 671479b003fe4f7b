# The device list's model tests run Qt's own item-model checker when QtTest is available.
if(TARGET zadari_test_app AND TARGET Qt6::Test)
    target_link_libraries(zadari_test_app PRIVATE Qt6::Test)
    target_compile_definitions(zadari_test_app PRIVATE ZADARI_HAVE_QTTEST=1)
endif()
