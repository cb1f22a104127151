// Which folders to list again as changes come. See follow.h.
#include "follow/follow.h"
#include "follow/watch.h"

#include <algorithm>

namespace spadrim {

std::string_view holder_of(std::string_view path, char separator) {
    while (!path.empty() && path.back() == separator)
        path.remove_suffix(1);
    const std::size_t at = path.rfind(separator);
    return at == std::string_view::npos ? std::string_view() : path.substr(0, at);
}

void note_changes(Following& following, std::span<const DiskChange> changes, FollowClock::time_point now) {
    for (const DiskChange& change : changes)
        following.marked.try_emplace(std::string(holder_of(change.path, following.separator)), now);
}

void note_lost(Following& following) {
    following.lost = true;
}

Relist take_due(Following& following, FollowClock::time_point now) {
    Relist relist;
    const auto due_at = [&](const std::optional<FollowClock::time_point>& last) {
        return last ? *last + RELIST_INTERVAL : now;
    };
    if (following.lost) {
        const FollowClock::time_point due = due_at(following.root_walked);
        if (due > now) {
            relist.next = due;
            return relist;
        }
        // The walk of the root covers every folder marked so far.
        following.lost = false;
        following.marked.clear();
        following.listed.clear();
        following.root_walked = now;
        relist.whole_root = true;
        return relist;
    }
    std::vector<std::string> ready;
    for (const auto& [folder, marked_at] : following.marked) {
        const auto last = following.listed.find(folder);
        const FollowClock::time_point due =
            due_at(last == following.listed.end() ? std::nullopt : std::optional(last->second));
        if (due <= now) {
            ready.push_back(folder);
        } else if (!relist.next || due < *relist.next) {
            relist.next = due;
        }
    }
    // Parents first: a folder listed again may take a marked child with it when the child is gone.
    std::sort(ready.begin(), ready.end(), [&](const std::string& a, const std::string& b) {
        const auto depth = [&](const std::string& path) {
            return path.empty() ? 0 : 1 + std::count(path.begin(), path.end(), following.separator);
        };
        const auto da = depth(a);
        const auto db = depth(b);
        return da != db ? da < db : a < b;
    });
    if (ready.size() > RELIST_BATCH) {
        ready.resize(RELIST_BATCH);
        relist.next = now;  // the rest as soon as this batch is in
    }
    for (const std::string& folder : ready) {
        following.marked.erase(folder);
        following.listed[folder] = now;
    }
    // Listings that can no longer hold anything back are forgotten, so the table stays as small as a burst.
    std::erase_if(following.listed, [&](const auto& entry) { return entry.second + RELIST_INTERVAL <= now; });
    relist.folders = std::move(ready);
    return relist;
}

void publish(ChangeInbox& inbox, std::vector<DiskChange>& batch, bool lost, bool ended,
             const std::function<void()>& wake) {
    if (batch.empty() && !lost && !ended) return;
    {
        const std::lock_guard held(inbox.lock);
        for (DiskChange& change : batch)
            inbox.changes.push_back(std::move(change));
        inbox.lost = inbox.lost || lost;
        inbox.ended = inbox.ended || ended;
    }
    batch.clear();
    if (wake) wake();
}

}  // namespace spadrim
