// The user's limits in the registry: RatingSystem::loadFromRegistry and saveToRegistry. Under
// "CurrentRatings" a key named after the system holds one key per category name, each with the
// number "Value".

#include "RatingSettings.h"
#include "RatingSystem.h"

#include "platform/RegistryKey.h"

#include <algorithm>
#include <string>

namespace lurvik {

namespace {

std::string systemKeyPath(const Str& systemName) {
    return std::string(kCurrentRatingsKey) + "\\" + systemName.str();
}

std::string categoryKeyPath(const Str& systemName, const Str& categoryName) {
    return systemKeyPath(systemName) + "\\" + categoryName.str();
}

// The limits carry min so that a limit set below it is raised again when it is saved; levels
// are left out, as nothing tests a label against them.
RatingCategory* limitsFor(const RatingCategory& category, int limit) {
    auto* limits = new RatingCategory;
    limits->transmitAs = category.transmitAs;
    limits->name = category.name;
    limits->min = category.min;
    limits->max = category.max;
    limits->limit = std::max(limit, category.min);
    return limits;
}

} // namespace

void RatingSystem::loadFromRegistry(const RatingSystem& system, RegistryStore& store) {
    if (&system == this) {
        const RatingSystem copy(system);
        loadFromRegistry(copy, store);
        return;
    }
    clear();
    name = system.name;
    // The configuration dialog opens the service page from the limits it edits.
    ratingService = system.ratingService;

    RegistryKey key(store);
    bool haveStoredLimits = key.open(Hive::CurrentUser, systemKeyPath(system.name)) == 0;
    (void)key.close();
    for (const RatingCategory* category : system.categories) {
        if (!haveStoredLimits) {
            categories.add(limitsFor(*category, category->limit));
            continue;
        }
        uint32_t stored = 0;
        if (key.open(Hive::CurrentUser, categoryKeyPath(system.name, category->name)) == 0 &&
            key.getNumber("Value", stored) == 0)
            categories.add(limitsFor(*category, static_cast<int>(stored)));
        // A category the user never set is left out, so labels are not tested against it.
    }
}

int RatingSystem::saveToRegistry(RegistryStore& store) const {
    int result = 0;
    for (const RatingCategory* category : categories) {
        RegistryKey key(store);
        if (int error = key.create(Hive::CurrentUser, categoryKeyPath(name, category->name))) {
            result = result ? result : error;
            continue;
        }
        key.setNumber("Value", static_cast<uint32_t>(std::max(category->limit, category->min)));
        if (int error = key.close(); error && !result)
            result = error;
    }
    return result;
}

} // namespace lurvik
