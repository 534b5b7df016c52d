#pragma once

// One meter is one meter in the store, whatever network or name its records arrive under:
// a Neuron ID the store has under another network or device name is that meter, moved or
// renamed; a key the store holds with another Neuron ID is a meter put in the place of the
// one stored, and the store refuses to mix their records rather than guess.

#include <optional>
#include <string>

#include "store/record_store.h"

namespace tellumic::store {

// meter: what is being stored. byNeuronId: the key under which the store has meter's Neuron
// ID in meter's format (none, or no Neuron ID given). neuronIdOfKey: the Neuron ID the store
// keeps under meter.key ("" none known; nullopt: no such meter). True when the meter found by
// its Neuron ID is to take meter.key as its network and name; StoreError when the store
// cannot tell which meter the records are.
inline bool followsNeuronId(const MeterInfo &meter, const std::optional<MeterKey> &byNeuronId,
                            const std::optional<std::string> &neuronIdOfKey)
{
    const auto named = [](const MeterKey &k) { return "\"" + k.name + "\" of the network \"" + k.network + "\""; };
    if (neuronIdOfKey && !neuronIdOfKey->empty() && !meter.neuronId.empty() && *neuronIdOfKey != meter.neuronId)
        throw StoreError("the record store has the meter " + named(meter.key) + " with the Neuron ID " +
                         *neuronIdOfKey + ", and this one has " + meter.neuronId +
                         ": the records of a meter put in another's place are not mixed with its records");
    if (!byNeuronId || *byNeuronId == meter.key)
        return false;
    if (neuronIdOfKey)
        throw StoreError("the Neuron ID " + meter.neuronId + " is the record store's meter " + named(*byNeuronId) +
                         ", and " + named(meter.key) + " is another meter there: the store cannot tell which one "
                         "these records are");
    return true;
}

}  // namespace tellumic::store
