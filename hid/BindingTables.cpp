// The entry points the library bindings fill, in binding order: one row per entry-point
// variable, naming the variable and the export it is bound from. Each bound name is written once
// below; the macros expand it into its rows, so the order of the lists is the binding order.
#include "hid/BindingTables.h"

// The setup library's names: X(name, forms, alias).
//   forms  Plain: one export of that name. AnsiWide: the exports name + "A" and name + "W", each
//          into its own variable, then the "A" export again into the plain-name variable, so
//          that every call through a plain name is an ANSI call.
//   alias  Alias: the rows of the name are repeated, after all the others and in list order,
//          into variables named "Alias_" + variable (the device-interface calls). NoAlias: not.
#define TILL_SETUPAPI_NAMES(X)                                     \
  X(SetupGetInfInformation, AnsiWide, NoAlias)                     \
  X(SetupQueryInfFileInformation, AnsiWide, NoAlias)               \
  X(SetupQueryInfVersionInformation, AnsiWide, NoAlias)            \
  X(SetupGetInfFileList, AnsiWide, NoAlias)                        \
  X(SetupOpenInfFile, AnsiWide, NoAlias)                           \
  X(SetupOpenMasterInf, Plain, NoAlias)                            \
  X(SetupOpenAppendInfFile, AnsiWide, NoAlias)                     \
  X(SetupCloseInfFile, Plain, NoAlias)                             \
  X(SetupFindFirstLine, AnsiWide, NoAlias)                         \
  X(SetupFindNextLine, Plain, NoAlias)                             \
  X(SetupFindNextMatchLine, AnsiWide, NoAlias)                     \
  X(SetupGetLineByIndex, AnsiWide, NoAlias)                        \
  X(SetupGetLineCount, AnsiWide, NoAlias)                          \
  X(SetupGetLineText, AnsiWide, NoAlias)                           \
  X(SetupGetFieldCount, Plain, NoAlias)                            \
  X(SetupGetStringField, AnsiWide, NoAlias)                        \
  X(SetupGetIntField, Plain, NoAlias)                              \
  X(SetupGetMultiSzField, AnsiWide, NoAlias)                       \
  X(SetupGetBinaryField, Plain, NoAlias)                           \
  X(SetupGetFileCompressionInfo, AnsiWide, NoAlias)                \
  X(SetupDecompressOrCopyFile, AnsiWide, NoAlias)                  \
  X(SetupGetSourceFileLocation, AnsiWide, NoAlias)                 \
  X(SetupGetSourceFileSize, AnsiWide, NoAlias)                     \
  X(SetupGetTargetPath, AnsiWide, NoAlias)                         \
  X(SetupSetSourceList, AnsiWide, NoAlias)                         \
  X(SetupCancelTemporarySourceList, Plain, NoAlias)                \
  X(SetupAddToSourceList, AnsiWide, NoAlias)                       \
  X(SetupRemoveFromSourceList, AnsiWide, NoAlias)                  \
  X(SetupQuerySourceList, AnsiWide, NoAlias)                       \
  X(SetupFreeSourceList, AnsiWide, NoAlias)                        \
  X(SetupPromptForDisk, AnsiWide, NoAlias)                         \
  X(SetupCopyError, AnsiWide, NoAlias)                             \
  X(SetupRenameError, AnsiWide, NoAlias)                           \
  X(SetupDeleteError, AnsiWide, NoAlias)                           \
  X(SetupSetDirectoryId, AnsiWide, NoAlias)                        \
  X(SetupSetDirectoryIdEx, AnsiWide, NoAlias)                      \
  X(SetupGetSourceInfo, AnsiWide, NoAlias)                         \
  X(SetupInstallFile, AnsiWide, NoAlias)                           \
  X(SetupInstallFileEx, AnsiWide, NoAlias)                         \
  X(SetupOpenFileQueue, Plain, NoAlias)                            \
  X(SetupCloseFileQueue, Plain, NoAlias)                           \
  X(SetupSetPlatformPathOverride, AnsiWide, NoAlias)               \
  X(SetupQueueCopy, AnsiWide, NoAlias)                             \
  X(SetupQueueDefaultCopy, AnsiWide, NoAlias)                      \
  X(SetupQueueCopySection, AnsiWide, NoAlias)                      \
  X(SetupQueueDelete, AnsiWide, NoAlias)                           \
  X(SetupQueueDeleteSection, AnsiWide, NoAlias)                    \
  X(SetupQueueRename, AnsiWide, NoAlias)                           \
  X(SetupQueueRenameSection, AnsiWide, NoAlias)                    \
  X(SetupCommitFileQueue, AnsiWide, NoAlias)                       \
  X(SetupScanFileQueue, AnsiWide, NoAlias)                         \
  X(SetupCopyOEMInf, AnsiWide, NoAlias)                            \
  X(SetupCreateDiskSpaceList, AnsiWide, NoAlias)                   \
  X(SetupDuplicateDiskSpaceList, AnsiWide, NoAlias)                \
  X(SetupDestroyDiskSpaceList, Plain, NoAlias)                     \
  X(SetupQueryDrivesInDiskSpaceList, AnsiWide, NoAlias)            \
  X(SetupQuerySpaceRequiredOnDrive, AnsiWide, NoAlias)             \
  X(SetupAdjustDiskSpaceList, AnsiWide, NoAlias)                   \
  X(SetupAddToDiskSpaceList, AnsiWide, NoAlias)                    \
  X(SetupAddSectionToDiskSpaceList, AnsiWide, NoAlias)             \
  X(SetupAddInstallSectionToDiskSpaceList, AnsiWide, NoAlias)      \
  X(SetupRemoveFromDiskSpaceList, AnsiWide, NoAlias)               \
  X(SetupRemoveSectionFromDiskSpaceList, AnsiWide, NoAlias)        \
  X(SetupRemoveInstallSectionFromDiskSpaceList, AnsiWide, NoAlias) \
  X(SetupIterateCabinet, AnsiWide, NoAlias)                        \
  X(SetupPromptReboot, Plain, NoAlias)                             \
  X(SetupInitDefaultQueueCallback, Plain, NoAlias)                 \
  X(SetupInitDefaultQueueCallbackEx, Plain, NoAlias)               \
  X(SetupTermDefaultQueueCallback, Plain, NoAlias)                 \
  X(SetupDefaultQueueCallback, AnsiWide, NoAlias)                  \
  X(SetupInstallFromInfSection, AnsiWide, NoAlias)                 \
  X(SetupInstallFilesFromInfSection, AnsiWide, NoAlias)            \
  X(SetupInstallServicesFromInfSection, AnsiWide, NoAlias)         \
  X(SetupInstallServicesFromInfSectionEx, AnsiWide, NoAlias)       \
  X(SetupInitializeFileLog, AnsiWide, NoAlias)                     \
  X(SetupTerminateFileLog, Plain, NoAlias)                         \
  X(SetupLogFile, AnsiWide, NoAlias)                               \
  X(SetupRemoveFileLogEntry, AnsiWide, NoAlias)                    \
  X(SetupQueryFileLog, AnsiWide, NoAlias)                          \
  X(SetupOpenLog, Plain, NoAlias)                                  \
  X(SetupLogError, AnsiWide, NoAlias)                              \
  X(SetupCloseLog, Plain, NoAlias)                                 \
  X(SetupDiCreateDeviceInfoList, Plain, NoAlias)                   \
  X(SetupDiCreateDeviceInfoListEx, AnsiWide, NoAlias)              \
  X(SetupDiGetDeviceInfoListClass, Plain, NoAlias)                 \
  X(SetupDiGetDeviceInfoListDetail, AnsiWide, NoAlias)             \
  X(SetupDiCreateDeviceInfo, AnsiWide, NoAlias)                    \
  X(SetupDiOpenDeviceInfo, AnsiWide, NoAlias)                      \
  X(SetupDiGetDeviceInstanceId, AnsiWide, NoAlias)                 \
  X(SetupDiDeleteDeviceInfo, Plain, NoAlias)                       \
  X(SetupDiEnumDeviceInfo, Plain, NoAlias)                         \
  X(SetupDiDestroyDeviceInfoList, Plain, NoAlias)                  \
  X(SetupDiEnumDeviceInterfaces, Plain, Alias)                     \
  X(SetupDiCreateDeviceInterface, AnsiWide, Alias)                 \
  X(SetupDiOpenDeviceInterface, AnsiWide, Alias)                   \
  X(SetupDiGetDeviceInterfaceAlias, Plain, Alias)                  \
  X(SetupDiDeleteDeviceInterfaceData, Plain, Alias)                \
  X(SetupDiRemoveDeviceInterface, Plain, Alias)                    \
  X(SetupDiGetDeviceInterfaceDetail, AnsiWide, Alias)              \
  X(SetupDiInstallDeviceInterfaces, Plain, Alias)                  \
  X(SetupDiRegisterDeviceInfo, Plain, NoAlias)                     \
  X(SetupDiBuildDriverInfoList, Plain, NoAlias)                    \
  X(SetupDiCancelDriverInfoSearch, Plain, NoAlias)                 \
  X(SetupDiEnumDriverInfo, AnsiWide, NoAlias)                      \
  X(SetupDiGetSelectedDriver, AnsiWide, NoAlias)                   \
  X(SetupDiSetSelectedDriver, AnsiWide, NoAlias)                   \
  X(SetupDiGetDriverInfoDetail, AnsiWide, NoAlias)                 \
  X(SetupDiDestroyDriverInfoList, Plain, NoAlias)                  \
  X(SetupDiGetClassDevs, AnsiWide, NoAlias)                        \
  X(SetupDiGetClassDevsEx, AnsiWide, NoAlias)                      \
  X(SetupDiGetINFClass, AnsiWide, NoAlias)                         \
  X(SetupDiBuildClassInfoList, Plain, NoAlias)                     \
  X(SetupDiBuildClassInfoListEx, AnsiWide, NoAlias)                \
  X(SetupDiGetClassDescription, AnsiWide, NoAlias)                 \
  X(SetupDiGetClassDescriptionEx, AnsiWide, NoAlias)               \
  X(SetupDiCallClassInstaller, Plain, NoAlias)                     \
  X(SetupDiSelectDevice, Plain, NoAlias)                           \
  X(SetupDiSelectBestCompatDrv, Plain, NoAlias)                    \
  X(SetupDiInstallDevice, Plain, NoAlias)                          \
  X(SetupDiInstallDriverFiles, Plain, NoAlias)                     \
  X(SetupDiRegisterCoDeviceInstallers, Plain, NoAlias)             \
  X(SetupDiRemoveDevice, Plain, NoAlias)                           \
  X(SetupDiUnremoveDevice, Plain, NoAlias)                         \
  X(SetupDiMoveDuplicateDevice, Plain, NoAlias)                    \
  X(SetupDiChangeState, Plain, NoAlias)                            \
  X(SetupDiInstallClass, AnsiWide, NoAlias)                        \
  X(SetupDiInstallClassEx, AnsiWide, NoAlias)                      \
  X(SetupDiOpenClassRegKey, Plain, NoAlias)                        \
  X(SetupDiOpenClassRegKeyEx, AnsiWide, NoAlias)                   \
  X(SetupDiCreateDeviceInterfaceRegKey, AnsiWide, Alias)           \
  X(SetupDiOpenDeviceInterfaceRegKey, Plain, Alias)                \
  X(SetupDiDeleteDeviceInterfaceRegKey, Plain, Alias)              \
  X(SetupDiCreateDevRegKey, AnsiWide, NoAlias)                     \
  X(SetupDiOpenDevRegKey, Plain, NoAlias)                          \
  X(SetupDiDeleteDevRegKey, Plain, NoAlias)                        \
  X(SetupDiGetHwProfileList, Plain, NoAlias)                       \
  X(SetupDiGetHwProfileListEx, AnsiWide, NoAlias)                  \
  X(SetupDiGetDeviceRegistryProperty, AnsiWide, NoAlias)           \
  X(SetupDiSetDeviceRegistryProperty, AnsiWide, NoAlias)           \
  X(SetupDiGetDeviceInstallParams, AnsiWide, NoAlias)              \
  X(SetupDiGetClassInstallParams, AnsiWide, NoAlias)               \
  X(SetupDiSetDeviceInstallParams, AnsiWide, NoAlias)              \
  X(SetupDiSetClassInstallParams, AnsiWide, NoAlias)               \
  X(SetupDiGetDriverInstallParams, AnsiWide, NoAlias)              \
  X(SetupDiSetDriverInstallParams, AnsiWide, NoAlias)              \
  X(SetupDiLoadClassIcon, Plain, NoAlias)                          \
  X(SetupDiDrawMiniIcon, Plain, NoAlias)                           \
  X(SetupDiGetClassBitmapIndex, Plain, NoAlias)                    \
  X(SetupDiGetClassImageList, Plain, NoAlias)                      \
  X(SetupDiGetClassImageListEx, AnsiWide, NoAlias)                 \
  X(SetupDiGetClassImageIndex, Plain, NoAlias)                     \
  X(SetupDiDestroyClassImageList, Plain, NoAlias)                  \
  X(SetupDiGetClassDevPropertySheets, AnsiWide, NoAlias)           \
  X(SetupDiAskForOEMDisk, Plain, NoAlias)                          \
  X(SetupDiSelectOEMDrv, Plain, NoAlias)                           \
  X(SetupDiClassNameFromGuid, AnsiWide, NoAlias)                   \
  X(SetupDiClassNameFromGuidEx, AnsiWide, NoAlias)                 \
  X(SetupDiClassGuidsFromName, AnsiWide, NoAlias)                  \
  X(SetupDiClassGuidsFromNameEx, AnsiWide, NoAlias)                \
  X(SetupDiGetHwProfileFriendlyName, AnsiWide, NoAlias)            \
  X(SetupDiGetHwProfileFriendlyNameEx, AnsiWide, NoAlias)          \
  X(SetupDiGetWizardPage, Plain, NoAlias)                          \
  X(SetupDiGetSelectedDevice, Plain, NoAlias)                      \
  X(SetupDiSetSelectedDevice, Plain, NoAlias)                      \
  X(SetupDiGetActualSectionToInstall, AnsiWide, NoAlias)

// The HID library's names: X(name, gate, times). gate: the systems it is bound on (HidGate).
// times: Once, or Twice, into the variables name and name + "_2".
#define TILL_HID_NAMES(X)                                \
  X(HidD_Hello, kAlways, Once)                           \
  X(HidD_GetHidGuid, kAlways, Once)                      \
  X(HidD_GetPreparsedData, kAlways, Once)                \
  X(HidD_FreePreparsedData, kAlways, Once)               \
  X(HidD_GetConfiguration, kAlways, Once)                \
  X(HidD_SetConfiguration, kAlways, Once)                \
  X(HidD_FlushQueue, kAlways, Once)                      \
  X(HidD_GetFeature, kAlways, Once)                      \
  X(HidD_SetFeature, kAlways, Once)                      \
  X(HidD_GetNumInputBuffers, kAlways, Once)              \
  X(HidD_SetNumInputBuffers, kAlways, Once)              \
  X(HidD_GetAttributes, kAlways, Once)                   \
  X(HidD_GetManufacturerString, kAlways, Once)           \
  X(HidD_GetProductString, kAlways, Once)                \
  X(HidD_GetSerialNumberString, kAlways, Once)           \
  X(HidD_GetPhysicalDescriptor, kAlways, Once)           \
  X(HidD_GetIndexedString, kAlways, Once)                \
  X(HidD_GetInputReport, kNt51, Once)                    \
  X(HidD_SetOutputReport, kNt51, Once)                   \
  X(HidP_GetCaps, kAlways, Once)                         \
  X(HidP_GetLinkCollectionNodes, kAlways, Once)          \
  X(HidP_GetSpecificButtonCaps, kAlways, Once)           \
  X(HidP_GetSpecificValueCaps, kAlways, Once)            \
  X(HidP_GetData, kAlways, Once)                         \
  X(HidP_SetData, kAlways, Once)                         \
  X(HidP_MaxDataListLength, kAlways, Once)               \
  X(HidP_GetUsages, kAlways, Twice)                      \
  X(HidP_GetUsagesEx, kAlways, Twice)                    \
  X(HidP_SetUsages, kAlways, Twice)                      \
  X(HidP_UnsetUsages, kAlways, Twice)                    \
  X(HidP_MaxUsageListLength, kAlways, Twice)             \
  X(HidP_GetUsageValue, kAlways, Once)                   \
  X(HidP_GetScaledUsageValue, kAlways, Once)             \
  X(HidP_GetUsageValueArray, kAlways, Once)              \
  X(HidP_SetUsageValue, kAlways, Once)                   \
  X(HidP_SetScaledUsageValue, kAlways, Once)             \
  X(HidP_SetUsageValueArray, kAlways, Once)              \
  X(HidP_UsageListDifference, kAlways, Once)             \
  X(HidP_TranslateUsagesToI8042ScanCodes, kAlways, Once) \
  X(HidP_GetExtendedAttributes, kNt50, Once)             \
  X(HidP_InitializeReportForID, kNt50, Once)

#define TILL_ROWS_Plain(prefix, name) {#prefix #name, #name},
#define TILL_ROWS_AnsiWide(prefix, name) \
  {#prefix #name "A", #name "A"}, {#prefix #name "W", #name "W"}, {#prefix #name, #name "A"},
#define TILL_ALIAS_NoAlias(forms, name)
#define TILL_ALIAS_Alias(forms, name) TILL_ROWS_##forms(Alias_, name)
#define TILL_SETUPAPI_ROWS(name, forms, alias) TILL_ROWS_##forms(, name)
#define TILL_SETUPAPI_ALIAS_ROWS(name, forms, alias) TILL_ALIAS_##alias(forms, name)

#define TILL_HID_Once(name, gate) {#name, #name, gate},
#define TILL_HID_Twice(name, gate) {#name, #name, gate}, {#name "_2", #name, gate},
#define TILL_HID_ROWS(name, gate, times) TILL_HID_##times(name, HidGate::gate)

namespace hid {

constexpr EntryBinding kSetupApiBindings[kSetupApiVariableCount] = {
    TILL_SETUPAPI_NAMES(TILL_SETUPAPI_ROWS) TILL_SETUPAPI_NAMES(TILL_SETUPAPI_ALIAS_ROWS)};

constexpr HidEntryBinding kHidBindings[kHidVariableCount] = {TILL_HID_NAMES(TILL_HID_ROWS)};

// Too many rows do not compile; too few would leave the last ones empty.
static_assert(kSetupApiBindings[kSetupApiVariableCount - 1].variable != nullptr);
static_assert(kHidBindings[kHidVariableCount - 1].variable != nullptr);

}  // namespace hid

#undef TILL_SETUPAPI_NAMES
#undef TILL_HID_NAMES
#undef TILL_ROWS_Plain
#undef TILL_ROWS_AnsiWide
#undef TILL_ALIAS_NoAlias
#undef TILL_ALIAS_Alias
#undef TILL_SETUPAPI_ROWS
#undef TILL_SETUPAPI_ALIAS_ROWS
#undef TILL_HID_Once
#undef TILL_HID_Twice
#undef TILL_HID_ROWS
