/*
 * DVSNETClient: the interface of the loadable library through which Zadari finds and configures
 * the cameras of the vendor-SDK family (family code 4).
 *
 * Zadari loads the library at run time from the folder "402" beside its program file:
 *   Linux and other Unix systems: 402/libDVSNETClient.so
 *   Windows:                      402\DVSNETClient.dll
 * and resolves each function below by its exported name. A missing library or a missing export
 * disables the family; nothing else depends on it. A vendor or an integrator builds a library
 * against this header; every function and argument is described with its type.
 *
 * Calling convention: stdcall on 32-bit Windows (the callee removes its arguments), the
 * platform's C convention everywhere else. Texts are NUL-terminated 8-bit strings in the
 * device's own encoding; addresses are IPv4 dotted-decimal texts ("192.168.1.20").
 */
#ifndef ZADARI_DVSNETCLIENT_H
#define ZADARI_DVSNETCLIENT_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define DVSNET_CALL __stdcall
#else
#define DVSNET_CALL
#endif

#if defined(_WIN32)
#define DVSNET_EXPORT __declspec(dllexport)
#else
#define DVSNET_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Called by the library once for every device its search finds, on any thread of the library
 * (or on the thread that called DVSNET_SearchServers). Every pointer is valid only during the
 * call; Zadari copies what it keeps before it returns. Zadari may block the calling thread until
 * its window has listed the device.
 *
 *   reserved1   not used by Zadari
 *   name        device name
 *   reserved3   not used by Zadari
 *   ip          the device's IPv4 address
 *   mac         the 6 bytes of the device's hardware address
 *   httpPort    port of the device's web interface
 *   dataPort    the device's second (data) port; handed back by DVSNET_ConfigServer
 *   mask        subnet mask
 *   gateway     default gateway
 *   text        a text of the library's own; handed back unchanged by DVSNET_ConfigServer
 *   dns         DNS server
 *   word        a 16-bit value of the library's own; handed back by DVSNET_ConfigServer
 *   value       a 32-bit value of the library's own; kept, never handed back
 *   dhcp        1 when the device obtains its address by DHCP; any other value means fixed
 *   context     the context given to DVSNET_SearchServers
 */
typedef void(DVSNET_CALL* DVSNET_ReportCallback)(
    intptr_t reserved1, const char* name, intptr_t reserved3, const char* ip, const uint8_t* mac,
    uint16_t httpPort, uint16_t dataPort, const char* mask, const char* gateway, const char* text,
    const char* dns, uint16_t word, int32_t value, int32_t dhcp, void* context);

/*
 * Starts a search for devices and returns at once or when it has ended, as the library chooses.
 *   durationMs  how long the search should last; Zadari passes 3000
 *   mode        the library's own search mode; Zadari passes 1
 *   report      called for every device found (see DVSNET_ReportCallback)
 *   context     passed back unchanged as the report's last argument
 *   reserved    Zadari passes 0
 * Returns 0 when the search started; any other value is a failure.
 */
DVSNET_EXPORT int32_t DVSNET_CALL DVSNET_SearchServers(int32_t durationMs, int32_t mode,
                                                       DVSNET_ReportCallback report, void* context,
                                                       int32_t reserved);

/*
 * Sends new network settings to one device.
 *   mac       the 6 bytes of the device's hardware address (as reported)
 *   user      account name on the device
 *   password  account password
 *   name      new device name
 *   ip        new IPv4 address
 *   httpPort  new web port
 *   dataPort  the second port, as reported
 *   mask      new subnet mask
 *   gateway   new default gateway
 *   text      the library's text, as reported
 *   dns       DNS server
 *   word      the library's 16-bit value, as reported
 *   dynamic   1 when the device is to obtain its address by DHCP, else 0
 * Returns 0 when the device accepted the settings; any other value is a failure.
 */
DVSNET_EXPORT int32_t DVSNET_CALL DVSNET_ConfigServer(
    const uint8_t* mac, const char* user, const char* password, const char* name, const char* ip,
    uint16_t httpPort, uint16_t dataPort, const char* mask, const char* gateway, const char* text,
    const char* dns, uint16_t word, int32_t dynamic);

/*
 * Ends a running search. Called once before the library is unloaded; after it returns the
 * library must make no further report calls.
 */
DVSNET_EXPORT void DVSNET_CALL DVSNET_StopSearch(void);

typedef int32_t(DVSNET_CALL* DVSNET_SearchServers_t)(int32_t, int32_t, DVSNET_ReportCallback, void*,
                                                     int32_t);
typedef int32_t(DVSNET_CALL* DVSNET_ConfigServer_t)(const uint8_t*, const char*, const char*,
                                                    const char*, const char*, uint16_t, uint16_t,
                                                    const char*, const char*, const char*,
                                                    const char*, uint16_t, int32_t);
typedef void(DVSNET_CALL* DVSNET_StopSearch_t)(void);

#ifdef __cplusplus
}
#endif

#endif /* ZADARI_DVSNETCLIENT_H */
