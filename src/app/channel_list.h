// The channel list browser: fetching the server's list, sorting it and walking through it.
#pragma once

#include <cstdint>

namespace falatro {

/// Entries collected before the list is cut off by reconnecting.
constexpr int kChannelListMax = 5000;
/// Positions a page key moves.
constexpr int kChannelListPage = 20;

/// The browser's state (one instance, ChannelBrowser): the number of channels of the last list and the
/// browsing position, for tests and benchmarks.
struct ChannelBrowserState {
  int Count = 0;     ///< channels in slots 1..Count of ChannelList
  int Position = 0;  ///< 0 stands before the first channel
  uint64_t sorted_at_ms = 0;  ///< clock when the sorted list was ready (before the browsing prompt)
  uint64_t end_of_list_ms = 0;  ///< clock when the end of the list (or the cut-off) was read
  uint64_t collected_ms = 0;    ///< clock when collection was over (after the new login, if one was made)
  uint64_t sort_started_ms = 0; ///< clock when sorting began (after the count was said)
};
extern ChannelBrowserState ChannelBrowser;

/// Asks for a search word, fetches the server's channel list (at most 5000 entries; a longer one is
/// stopped by logging in again), says how many were found, sorts them by upper-cased name and lets
/// the user browse: Down/Up one channel, PgDn/PgUp twenty, Left/Right spell the name, F1 says the
/// description, Enter joins and comes back to the same place, Esc leaves.
void BrowseChannelList();

/// Sorts slots 0..count of ChannelList after upper-casing each entry's name (the text before its first
/// blank); the empty slot sorts first, the channels end up in slots 1..count in byte order.
void SortChannelList(int count);

}  // namespace falatro
