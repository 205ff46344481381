// SEPin: the module-side object of one pin.
//
// Created as one array by SEModule_base::open, set up there by Init in pin
// order, destroyed last-first with the module. A pin owns nothing; its module
// outlives it. Every host service goes through the module's CallHost with
// the pin's own index. Runs on the host's calling thread only.
#pragma once

#include <cstdint>

#include "se_records.h"
#include "se_types.h"

class SEModule_base;

class SEPin {
 public:
  // Neutral values, so that a pin that open never initialises (the host
  // reported more pins than the descriptions yield) is harmless.
  SEPin() = default;
  virtual ~SEPin() = default;

  void Init(SEModule_base* module, int index, EPlugDataType datatype,
            void* variable_address);

  // Announces a new stream state on this pin (HOST_SET_PIN_STATUS). Leaves
  // getStatus() as it was.
  void TransmitStatusChange(uint32_t sample_clock, state_type new_state);
  void TransmitMIDI(uint32_t sampleclock, uint32_t message);
  // Called by the event delivery: stores the state, tells the module, and
  // afterwards turns a one-shot into static.
  void OnStatusUpdate(state_type new_state);
  bool IsConnected();
  // The sample of an audio pin at the current sample clock.
  float getValue();

  SEModule_base* getModule() const { return m_module; }
  state_type getStatus() const { return m_status; }
  int getIndex() const { return m_index; }
  EPlugDataType getDataType() const { return m_datatype; }
  void* getVariableAddress() const { return m_variable_address; }
  uint32_t getStorageWord() const { return m_storage.word; }

 private:
  // Internal storage for the pin's value when the module bound no variable,
  // used according to m_datatype.
  union Storage {
    int16_t i16;
    uint8_t u8;
    float f32;
    int32_t i32;
    float* samples;
    uint32_t word;
  };

  void* m_variable_address = nullptr;
  SEModule_base* m_module = nullptr;
  int32_t m_index = 0;
  state_type m_status = ST_STATIC;
  EPlugDataType m_datatype = EPlugDataType(0);
  Storage m_storage = {};
};
