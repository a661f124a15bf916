#pragma once

/// Control ids of the Recorder window. Each widget's objectName is exactly the name of its
/// constant (the Record button is "Record"), so tests and the window find controls by name.
namespace ControlId {

// Transport bar.
inline constexpr int Record = 1011;
inline constexpr int AutoRecord = 1019;
inline constexpr int StopRecord = 1013;
inline constexpr int Play = 1022;
inline constexpr int StopPlay = 1023;
inline constexpr int Pause = 1015;
inline constexpr int FastForward = 1031;
inline constexpr int FastRewind = 1032;
inline constexpr int Reduce = 1100; ///< collapses or expands the window

// Header.
inline constexpr int Help = 1014;
inline constexpr int Options = 1098;

// Display panel.
inline constexpr int RecLabel = 1097; ///< "REC" beside the clock
inline constexpr int ClockMinutes = 1183;
inline constexpr int ClockColon = 1184;
inline constexpr int ClockSeconds = 1185;
inline constexpr int ModeLabel = 1101;    ///< "PLAY" / "PAUSE" while a recording plays
inline constexpr int PlayTime = 1186;     ///< time display beside the mode label
inline constexpr int PlayTotal = 1187;    ///< time display right of the position bar
inline constexpr int PlayPosition = 1188; ///< time display left of the position bar
inline constexpr int PositionBar = 1012;
inline constexpr int LevelMeter = 1125;
inline constexpr int StatusIcon = 1066; ///< playing / armed picture left of the meter
inline constexpr int VolumeCaption = 1017;
inline constexpr int VolumeSlider = 1039;

// Properties of the selected recording.
inline constexpr int NameEdit = 1119;
inline constexpr int NotesEdit = 1120;
inline constexpr int DateField = 1122;
inline constexpr int DurationField = 1210;
inline constexpr int SaveInfo = 1099;
inline constexpr int ModifyInfo = 1020;
inline constexpr int NoteDisplay = 1102;

// Recording list.
inline constexpr int ListCaption = 1089;
inline constexpr int ListStatus = 1123; ///< spare text on the list's caption strip
inline constexpr int CountLabel = 1000; ///< "%d Rec"
inline constexpr int RecordingList = 1040;

// Tool band.
inline constexpr int Find = 1044;
inline constexpr int Delete = 1045;
inline constexpr int Modify = 1064;
inline constexpr int Send = 1059;
inline constexpr int Protect = 1060;
inline constexpr int Join = 1063; ///< reached through the menus; the button stays hidden
inline constexpr int Tools = 1024;
inline constexpr int Info = 1021;

} // namespace ControlId
