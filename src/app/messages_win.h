// The messages worker threads post to the main window once their mailbox holds a result, and the
// window's timers.
#pragma once

#include <windows.h>

#include <chrono>

namespace spadrim {

inline constexpr UINT MSG_SCAN_ENDED = WM_APP + 1;
inline constexpr UINT MSG_UPDATE_CHECKED = WM_APP + 2;
inline constexpr UINT MSG_DOWNLOAD_ENDED = WM_APP + 3;
inline constexpr UINT MSG_DUPLICATES_FOUND = WM_APP + 4;
inline constexpr UINT MSG_ACCESS = WM_APP + 5;  // a screen reader asked for an action
inline constexpr UINT MSG_DRIVES_LISTED = WM_APP + 6;
inline constexpr UINT MSG_BASELINE_READ = WM_APP + 7;  // an earlier scan to compare with was read
inline constexpr UINT MSG_SCAN_SAVED = WM_APP + 8;     // a finished scan was remembered, or not
inline constexpr UINT MSG_REFRESHED = WM_APP + 9;      // folders were walked or listed again
inline constexpr UINT MSG_DISK_CHANGED = WM_APP + 10;  // the watch over the root found changes

inline constexpr UINT_PTR TIMER_NOTICE = 1;
inline constexpr UINT_PTR TIMER_SCAN = 2;
inline constexpr UINT_PTR TIMER_COMPARE = 3;
inline constexpr UINT_PTR TIMER_SEARCH = 4;
inline constexpr UINT_PTR TIMER_CHANGES = 5;  // slices of comparing with an earlier scan
inline constexpr UINT_PTR TIMER_FOLLOW = 6;   // folders due for a listing, progress, "Updated 2 s ago"
inline constexpr UINT FOLLOW_MILLISECONDS = 250;
inline constexpr UINT NOTICE_MILLISECONDS = 3500;
// A notice goes at its timer, unless a newer one came in the meantime: that one's timer is pending.
inline constexpr std::chrono::milliseconds NOTICE_LIFETIME{3400};
inline constexpr UINT SCAN_REPAINT_MILLISECONDS = 120;
inline constexpr UINT COMPARE_REPAINT_MILLISECONDS = 150;
// A search runs a slice per tick, short enough that the window still draws and takes keys between
// slices; timers fire at most every 10 ms anyway.
inline constexpr UINT SEARCH_SLICE_MILLISECONDS = 10;
inline constexpr std::chrono::milliseconds SEARCH_SLICE{8};

}  // namespace spadrim
