#pragma once
// Pins a host route to a server through the gateway the routing table picks
// for it now, so later changes of broader routes do not move the connection.
// The routing table is read and written through the MIB-II extension agent,
// loaded by name at run time. Every failure is silent for the caller.
#include "Handles.h"  // winsock2.h before windows.h

#include <snmp.h>

#include <cstdint>

#include "RouteSelection.h"

// The four entry points taken from "snmpapi.dll" and "inetmib1.dll".
struct RouteAgent {
    LPVOID(WINAPI* memAlloc)(UINT bytes) = nullptr;
    VOID(WINAPI* memFree)(LPVOID memory) = nullptr;
    BOOL(WINAPI* extensionInit)(DWORD uptimeReference, HANDLE* trapEvent,
                                AsnObjectIdentifier* supportedView) = nullptr;
    BOOL(WINAPI* extensionQuery)(BYTE requestType, SnmpVarBindList* bindings,
                                 AsnInteger32* errorStatus, AsnInteger32* errorIndex) = nullptr;
};

// Loads the agent's libraries and initialises it; prints
// "InitSnmp Initialize OK." or "... FAILED." (the latter with the last error
// set to file-not-found). Call once at start-up; a second call starts over.
bool InitRouteHelper();

// The same with other library names (a missing library shows the FAILED path).
bool InitRouteHelperFromLibraries(const wchar_t* snmpApiName, const wchar_t* mibName);

// The same with given entry points instead of loaded libraries.
bool InitRouteHelperWithAgent(const RouteAgent& agent);

// Forgets the entry points and frees the libraries.
void ShutdownRouteHelper();

// The diagnostic lines go to the standard output unless redirected here
// (nullptr restores the standard output).
using RouteLogSink = void (*)(const char* line);
void SetRouteLogSink(RouteLogSink sink);

// Addresses and masks in the s_addr form (network order in memory).
// Looks up the mask and interface index of a local address; both 0 on failure.
bool GetAddressInformation(std::uint32_t local, std::uint32_t& mask, std::uint32_t& ifIndex);

// Walks the routing table for the row through which target is reached from
// local; true when one was found and copied into route.
bool GetIpRouteInfo(std::uint32_t local, std::uint32_t target, RouteRecord& route);

// Adds the route (destination, mask, next hop, type, metric 1).
bool AddIpRoute(const RouteRecord& route);

// For an IPv4 server: finds the route the socket's local address and the
// server's address select and adds a host route (mask 255.255.255.255) to the
// server through its next hop. True when a route was added.
bool PinRouteToServer(SOCKET socket, const sockaddr_in& server);
