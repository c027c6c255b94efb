#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "usage/ko_event_type.h"
#include "usage/properties_node.h"

namespace pelta::usage {

// How an entry's value is to be written into an event. Numbered as the tracker expects; only
// text entries exist so far.
enum class KoPropertyTag : std::int32_t {
    Text = 3,
};

// One property to be copied into events of one kind. The value is shared with the registry of
// the object that made the entry, so it lives as long as either does.
struct KoContextProperty {
    std::shared_ptr<const std::string> value;
    KoPropertyTag tag = KoPropertyTag::Text;
    std::string key;
};

// Extra properties a caller attaches to selected kinds of events without changing the event
// records: filled for one track call, handed to it, destroyed after it. Not shared between
// threads.
class KoContextProperties {
public:
    static constexpr char kAbKey[] = "koc_ab";

    // Registers kAbKey with the value and adds it, in the order given, to each kind's list. A kind
    // past the last one raises after the earlier kinds got their entry; a second call raises
    // because the key is already registered.
    void setProperty(const std::string& value, const std::vector<KoEventType>& eventTypes);

    // The entries for one kind, in the order they were added.
    const std::vector<KoContextProperty>& getEventProperties(KoEventType eventType) const;

    // True for one to three bytes: an upper-case letter, then upper-case letters or digits.
    // False for the empty text; anything else raises with the rule it breaks.
    static bool isValidABValue(const std::string& value);

private:
    std::unordered_map<std::string, std::shared_ptr<const std::string>> registry_;
    std::array<std::vector<KoContextProperty>, kKoEventTypeCount> eventLists_;
};

// Writes the entries registered for the event's kind into its properties, in list order, each
// replacing a property of the same key. A null context has none.
void applyContextProperties(const KoContextProperties* context, KoEventType eventType,
                            usage_analytics::PropertiesNode& properties);

}  // namespace pelta::usage
