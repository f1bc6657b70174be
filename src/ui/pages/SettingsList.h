#pragma once

#include <optional>
#include <vector>

#include "app/AppState.h"

namespace orvex {

// One list of the settings (the dynamic DNS entries, the notification channels) as its page
// edits it. A cycle may write the list while a dialog is open, so a change applies only while
// the item at its row is still, by `same`, the one the page showed.
template <typename Item>
class SettingsList {
public:
    using Same = bool (*)(const Item&, const Item&);

    SettingsList(AppState& state, std::vector<Item> AppSettings::*list, Same same)
        : state_(state), list_(list), same_(same) {}

    size_t Size() const { return (state_.Settings().*list_).size(); }

    // The item at `row`; none when there is no such row.
    std::optional<Item> At(int row) const {
        const std::vector<Item> items = state_.Settings().*list_;
        if (row < 0 || static_cast<size_t>(row) >= items.size()) {
            return std::nullopt;
        }
        return items[static_cast<size_t>(row)];
    }

    // Appends `item`; its row.
    int Add(const Item& item) const {
        size_t row = 0;
        state_.EditSettings([&](AppSettings& s) {
            (s.*list_).push_back(item);
            row = (s.*list_).size() - 1;
        });
        return static_cast<int>(row);
    }

    void Replace(int row, const Item& shown, const Item& edited) const {
        state_.EditSettings([&](AppSettings& s) {
            if (Holds(s, row, shown)) {
                (s.*list_)[static_cast<size_t>(row)] = edited;
            }
        });
    }

    void Remove(int row, const Item& shown) const {
        state_.EditSettings([&](AppSettings& s) {
            if (Holds(s, row, shown)) {
                (s.*list_).erase((s.*list_).begin() + row);
            }
        });
    }

private:
    bool Holds(const AppSettings& s, int row, const Item& shown) const {
        return row >= 0 && static_cast<size_t>(row) < (s.*list_).size() &&
               same_((s.*list_)[static_cast<size_t>(row)], shown);
    }

    AppState& state_;
    std::vector<Item> AppSettings::*list_;
    Same same_;
};

}  // namespace orvex
