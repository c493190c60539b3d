#pragma once
// The messages the plug-in and its editor exchange on their atom ports: the
// editor asks for the preset name (patch:Get), either side tells the other a
// new one (patch:Set), and the editor tells a press of the pad (patch:Set of
// the pad). Reading and writing them allocates nothing.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstring>

#include "lv2/Lv2Ports.h"

struct Lv2Uris {
  LV2_URID atomString;
  LV2_URID atomUrid;
  LV2_URID atomBool;
  LV2_URID atomInt;
  LV2_URID atomFloat;
  LV2_URID atomObject;
  LV2_URID atomBlank;
  LV2_URID atomEventTransfer;
  LV2_URID midiEvent;
  LV2_URID patchGet;
  LV2_URID patchSet;
  LV2_URID patchProperty;
  LV2_URID patchValue;
  LV2_URID presetName;
  LV2_URID padPressed;
  LV2_URID controlMoved;
  LV2_URID portIndex;
  LV2_URID portValue;
};

inline Lv2Uris MapUris(LV2_URID_Map* map) {
  const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  return {id(LV2_ATOM__String),    id(LV2_ATOM__URID),
          id(LV2_ATOM__Bool),      id(LV2_ATOM__Int),
          id(LV2_ATOM__Float),     id(LV2_ATOM__Object),
          id(LV2_ATOM__Blank),     id(LV2_ATOM__eventTransfer),
          id(LV2_MIDI__MidiEvent), id(LV2_PATCH__Get),
          id(LV2_PATCH__Set),      id(LV2_PATCH__property),
          id(LV2_PATCH__value),    id(THUDRA_LV2_PRESET_NAME_URI),
          id(THUDRA_LV2_PAD_URI),  id(THUDRA_LV2_CONTROL_MOVED_URI),
          id(LV2_CORE__index),     id("http://www.w3.org/1999/02/22-rdf-syntax-ns#value")};
}

// A preset name in fixed storage, so the audio thread can take one.
class PresetName {
public:
  static constexpr size_t kCapacity = 128;

  const char* Get() const { return text_; }
  void Set(const char* text) { SetBounded(text, std::strlen(text) + 1); }
  // Copies at most size bytes of text, stopping at its first zero.
  void SetBounded(const char* text, size_t size) {
    size_t n = 0;
    while (n < size && n + 1 < kCapacity && text[n]) {
      text_[n] = text[n];
      ++n;
    }
    text_[n] = 0;
  }

private:
  char text_[kCapacity] = {};
};

// The object's type when atom is an object, else 0.
inline LV2_URID ObjectKind(const Lv2Uris& uris, const LV2_Atom& atom) {
  if ((atom.type != uris.atomObject && atom.type != uris.atomBlank) || atom.size < sizeof(LV2_Atom_Object_Body))
    return 0;
  return reinterpret_cast<const LV2_Atom_Object&>(atom).body.otype;
}

inline bool IsPatchGet(const Lv2Uris& uris, const LV2_Atom& atom) { return ObjectKind(uris, atom) == uris.patchGet; }

// The value of a patch:Set of property, or null for any other message.
inline const LV2_Atom* PatchSetValue(const Lv2Uris& uris, const LV2_Atom& atom, LV2_URID property) {
  if (ObjectKind(uris, atom) != uris.patchSet) return nullptr;
  const LV2_Atom* key = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(reinterpret_cast<const LV2_Atom_Object*>(&atom), uris.patchProperty, &key, uris.patchValue,
                      &value, 0);
  if (!key || key->type != uris.atomUrid || key->size < sizeof(LV2_URID)) return nullptr;
  if (reinterpret_cast<const LV2_Atom_URID*>(key)->body != property) return nullptr;
  return value;
}

// The name a patch:Set of the preset name carries, or null for any other
// message (or a name that is not a zero-terminated string).
inline const char* PresetNameFromPatchSet(const Lv2Uris& uris, const LV2_Atom& atom) {
  const LV2_Atom* value = PatchSetValue(uris, atom, uris.presetName);
  if (!value || value->type != uris.atomString || value->size == 0) return nullptr;
  const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  if (text[value->size - 1] != 0) return nullptr;
  return text;
}

inline bool IsPadPress(const Lv2Uris& uris, const LV2_Atom& atom) {
  const LV2_Atom* value = PatchSetValue(uris, atom, uris.padPressed);
  return value && value->type == uris.atomBool && value->size >= sizeof(int32_t) &&
         reinterpret_cast<const LV2_Atom_Bool*>(value)->body != 0;
}

// Writes a patch:Set of the preset name; false when the buffer is full.
inline bool ForgePresetNameSet(LV2_Atom_Forge& forge, const Lv2Uris& uris, const char* name) {
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet)) return false;
  bool ok = lv2_atom_forge_key(&forge, uris.patchProperty) && lv2_atom_forge_urid(&forge, uris.presetName) &&
            lv2_atom_forge_key(&forge, uris.patchValue) &&
            lv2_atom_forge_string(&forge, name, uint32_t(std::strlen(name)));
  lv2_atom_forge_pop(&forge, &frame);
  return ok;
}

inline bool ForgePadPress(LV2_Atom_Forge& forge, const Lv2Uris& uris) {
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet)) return false;
  bool ok = lv2_atom_forge_key(&forge, uris.patchProperty) && lv2_atom_forge_urid(&forge, uris.padPressed) &&
            lv2_atom_forge_key(&forge, uris.patchValue) && lv2_atom_forge_bool(&forge, true);
  lv2_atom_forge_pop(&forge, &frame);
  return ok;
}

// A control port's new value: an object with the port's index and value.
inline bool ForgeControlMoved(LV2_Atom_Forge& forge, const Lv2Uris& uris, uint32_t port, float value) {
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_object(&forge, &frame, 0, uris.controlMoved)) return false;
  bool ok = lv2_atom_forge_key(&forge, uris.portIndex) && lv2_atom_forge_int(&forge, int32_t(port)) &&
            lv2_atom_forge_key(&forge, uris.portValue) && lv2_atom_forge_float(&forge, value);
  lv2_atom_forge_pop(&forge, &frame);
  return ok;
}

inline bool ControlMovedFrom(const Lv2Uris& uris, const LV2_Atom& atom, uint32_t& port, float& value) {
  if (ObjectKind(uris, atom) != uris.controlMoved) return false;
  const LV2_Atom* index = nullptr;
  const LV2_Atom* number = nullptr;
  lv2_atom_object_get(reinterpret_cast<const LV2_Atom_Object*>(&atom), uris.portIndex, &index, uris.portValue, &number,
                      0);
  if (!index || index->type != uris.atomInt || index->size < sizeof(int32_t)) return false;
  if (!number || number->type != uris.atomFloat || number->size < sizeof(float)) return false;
  const int32_t at = reinterpret_cast<const LV2_Atom_Int*>(index)->body;
  if (at < 0) return false;
  port = uint32_t(at);
  value = reinterpret_cast<const LV2_Atom_Float*>(number)->body;
  return true;
}

inline bool ForgePatchGet(LV2_Atom_Forge& forge, const Lv2Uris& uris) {
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_object(&forge, &frame, 0, uris.patchGet)) return false;
  lv2_atom_forge_pop(&forge, &frame);
  return true;
}
