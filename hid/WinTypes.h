// Records and entry-point types of the HID class library, the setup library and the kernel32
// file calls, with the layouts the platform publishes. Only what the HID layer uses is here; no
// SDK HID or setup header is included anywhere, so these are the one definition on every
// platform.
#pragma once

#include "host/WinDefs.h"

#include <cstddef>
#include <type_traits>

using NTSTATUS = LONG;
constexpr NTSTATUS HIDP_STATUS_SUCCESS = 0x00110000;
constexpr NTSTATUS HIDP_STATUS_INVALID_PREPARSED_DATA = static_cast<NTSTATUS>(0xC0110001u);

struct HIDD_ATTRIBUTES {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
};
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);

struct HIDP_CAPS {
  USHORT Usage;
  USHORT UsagePage;
  USHORT InputReportByteLength;
  USHORT OutputReportByteLength;
  USHORT FeatureReportByteLength;
  USHORT Reserved[17];
  USHORT NumberLinkCollectionNodes;
  USHORT NumberInputButtonCaps;
  USHORT NumberInputValueCaps;
  USHORT NumberInputDataIndices;
  USHORT NumberOutputButtonCaps;
  USHORT NumberOutputValueCaps;
  USHORT NumberOutputDataIndices;
  USHORT NumberFeatureButtonCaps;
  USHORT NumberFeatureValueCaps;
  USHORT NumberFeatureDataIndices;
};
static_assert(sizeof(HIDP_CAPS) == 64);

struct HIDP_PREPARSED_DATA_TAG;
using PHIDP_PREPARSED_DATA = HIDP_PREPARSED_DATA_TAG*;

using HDEVINFO = PVOID;

// The setup records carry a pointer-sized member, so their sizes differ between 32- and 64-bit
// builds; the setup library checks cbSize against its own build, so callers must use sizeof.
struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[1];
};
// The value the setup library expects in the detail record's cbSize: the record's size in the
// library's own build, 5 on 32-bit Windows (packed there) and 8 on 64-bit.
constexpr DWORD kDetailDataSize = sizeof(void*) == 8 ? 8 : 5;
constexpr std::size_t kDetailPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

constexpr DWORD DIGCF_PRESENT = 0x00000002;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010;

// Registry property codes read into the device's PnP record.
constexpr DWORD SPDRP_DEVICEDESC = 0;
constexpr DWORD SPDRP_HARDWAREID = 1;
constexpr DWORD SPDRP_COMPATIBLEIDS = 2;
constexpr DWORD SPDRP_SERVICE = 4;
constexpr DWORD SPDRP_CLASS = 7;
constexpr DWORD SPDRP_CLASSGUID = 8;
constexpr DWORD SPDRP_DRIVER = 9;
constexpr DWORD SPDRP_CONFIGFLAGS = 10;
constexpr DWORD SPDRP_MFG = 11;
constexpr DWORD SPDRP_FRIENDLYNAME = 12;
constexpr DWORD SPDRP_LOCATION_INFORMATION = 13;
constexpr DWORD SPDRP_PHYSICAL_DEVICE_OBJECT_NAME = 14;
constexpr DWORD SPDRP_CAPABILITIES = 15;
constexpr DWORD SPDRP_UI_NUMBER = 16;
constexpr DWORD SPDRP_UPPERFILTERS = 17;
constexpr DWORD SPDRP_LOWERFILTERS = 18;
constexpr DWORD SPDRP_BUSTYPEGUID = 19;
constexpr DWORD SPDRP_LEGACYBUSTYPE = 20;
constexpr DWORD SPDRP_BUSNUMBER = 21;
constexpr DWORD SPDRP_ENUMERATOR_NAME = 22;
constexpr DWORD SPDRP_SECURITY_SDS = 24;
constexpr DWORD SPDRP_DEVTYPE = 25;
constexpr DWORD SPDRP_EXCLUSIVE = 26;
constexpr DWORD SPDRP_CHARACTERISTICS = 27;
constexpr DWORD SPDRP_ADDRESS = 28;
constexpr DWORD SPDRP_UI_NUMBER_DESC_FORMAT = 30;

#ifndef _WIN32
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
#endif

// The HID device interface class.
constexpr GUID kHidInterfaceClassGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Entry-point types of the calls the HID layer makes.
using PFN_HidD_GetHidGuid = void(WINAPI*)(GUID* hidGuid);
using PFN_HidD_GetAttributes = BOOLEAN(WINAPI*)(HANDLE device, HIDD_ATTRIBUTES* attributes);
using PFN_HidD_GetProductString = BOOLEAN(WINAPI*)(HANDLE device, PVOID buffer, ULONG length);
using PFN_HidD_GetPreparsedData = BOOLEAN(WINAPI*)(HANDLE device, PHIDP_PREPARSED_DATA* data);
using PFN_HidD_FreePreparsedData = BOOLEAN(WINAPI*)(PHIDP_PREPARSED_DATA data);
using PFN_HidP_GetCaps = NTSTATUS(WINAPI*)(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps);
using PFN_HidD_GetNumInputBuffers = BOOLEAN(WINAPI*)(HANDLE device, ULONG* count);
using PFN_HidD_SetNumInputBuffers = BOOLEAN(WINAPI*)(HANDLE device, ULONG count);
using PFN_HidD_GetFeature = BOOLEAN(WINAPI*)(HANDLE device, PVOID buffer, ULONG length);
using PFN_HidD_SetFeature = BOOLEAN(WINAPI*)(HANDLE device, PVOID buffer, ULONG length);

using PFN_SetupDiGetClassDevsA = HDEVINFO(WINAPI*)(const GUID* classGuid, PCSTR enumerator,
                                                   HWND parent, DWORD flags);
using PFN_SetupDiEnumDeviceInterfaces = BOOL(WINAPI*)(HDEVINFO set, SP_DEVINFO_DATA* devInfo,
                                                      const GUID* interfaceGuid, DWORD index,
                                                      SP_DEVICE_INTERFACE_DATA* interfaceData);
using PFN_SetupDiGetDeviceInterfaceDetailA =
    BOOL(WINAPI*)(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* requiredSize,
                  SP_DEVINFO_DATA* devInfo);
using PFN_SetupDiGetDeviceRegistryPropertyA = BOOL(WINAPI*)(HDEVINFO set, SP_DEVINFO_DATA* devInfo,
                                                            DWORD property, DWORD* regType,
                                                            BYTE* buffer, DWORD size,
                                                            DWORD* requiredSize);
using PFN_SetupDiDestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO set);

using PFN_CreateFileA = HANDLE(WINAPI*)(LPCSTR fileName, DWORD access, DWORD share,
                                        LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                        DWORD flags, HANDLE templateFile);
using PFN_CloseHandle = BOOL(WINAPI*)(HANDLE handle);
using PFN_ReadFileEx = BOOL(WINAPI*)(HANDLE file, LPVOID buffer, DWORD count,
                                     LPOVERLAPPED overlapped,
                                     LPOVERLAPPED_COMPLETION_ROUTINE completion);
using PFN_GetOverlappedResult = BOOL(WINAPI*)(HANDLE file, LPOVERLAPPED overlapped,
                                              DWORD* transferred, BOOL wait);
using PFN_SleepEx = DWORD(WINAPI*)(DWORD milliseconds, BOOL alertable);
using PFN_CancelIo = BOOL(WINAPI*)(HANDLE file);
using PFN_CancelIoEx = BOOL(WINAPI*)(HANDLE file, LPOVERLAPPED overlapped);
using PFN_GetCurrentThreadId = DWORD(WINAPI*)();
using PFN_OpenThread = HANDLE(WINAPI*)(DWORD access, BOOL inheritHandle, DWORD threadId);
using PFN_QueueUserAPC = DWORD(WINAPI*)(PAPCFUNC routine, HANDLE thread, ULONG_PTR data);
using PFN_GetLastError = DWORD(WINAPI*)();
using PFN_SetLastError = void(WINAPI*)(DWORD error);

#ifdef _WIN32
// The kernel32 calls are bound by name; their types must be the system's own declarations.
static_assert(std::is_same_v<PFN_CreateFileA, decltype(&::CreateFileA)>);
static_assert(std::is_same_v<PFN_CloseHandle, decltype(&::CloseHandle)>);
static_assert(std::is_same_v<PFN_ReadFileEx, decltype(&::ReadFileEx)>);
static_assert(std::is_same_v<PFN_GetOverlappedResult, decltype(&::GetOverlappedResult)>);
static_assert(std::is_same_v<PFN_SleepEx, decltype(&::SleepEx)>);
static_assert(std::is_same_v<PFN_CancelIo, decltype(&::CancelIo)>);
static_assert(std::is_same_v<PFN_CancelIoEx, decltype(&::CancelIoEx)>);
static_assert(std::is_same_v<PFN_GetCurrentThreadId, decltype(&::GetCurrentThreadId)>);
static_assert(std::is_same_v<PFN_OpenThread, decltype(&::OpenThread)>);
static_assert(std::is_same_v<PFN_QueueUserAPC, decltype(&::QueueUserAPC)>);
static_assert(std::is_same_v<PFN_GetLastError, decltype(&::GetLastError)>);
static_assert(std::is_same_v<PFN_SetLastError, decltype(&::SetLastError)>);
#endif
