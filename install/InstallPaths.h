#pragma once
// The fixed names of an installation. Every path is a folder without a trailing backslash
// joined to one of these suffixes, leading backslash included.

namespace paths {

inline constexpr char kPayload[] = "\\Setup.data";
inline constexpr char kDataFolder[] = "\\Data";
inline constexpr char kSystemDatabase[] = "\\Data\\MachineData.qdb";
inline constexpr char kEarlierSystemDatabase[] = "\\Data\\MachineData.old";
inline constexpr char kNewSystemDatabase[] = "\\Data\\Temp.qdb";
inline constexpr char kDemoDatabase[] = "\\Data\\Demo.qdb";
inline constexpr char kProgram[] = "\\Korvane.exe";
// Code page 936 bytes written out: a constant array is fixed when compiled, before any
// conversion could run.
inline constexpr char kManual[] =
    "\\\xca\xb9\xd3\xc3\xcb\xb5\xc3\xf7\xca\xe9.pdf";  // \使用说明书.pdf
inline constexpr char kReadMe[] =
    "\\\xc8\xed\xbc\xfe\xca\xb9\xd3\xc3\xb1\xd8\xb6\xc1.txt";  // \软件使用必读.txt
inline constexpr char kRuntimeLibrary[] = "\\Midas.dll";
inline constexpr char kBackupSuffix[] = "KVData.qbk";

}  // namespace paths
