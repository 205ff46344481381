// Enumerations, flag bits, opcodes and the one call signature shared by a
// module library and the host that loads it.
//
// The interface is 32-bit x86, little-endian. Every function that crosses it
// is caller-cleans (cdecl): arguments pushed right to left, removed by the
// caller. SE_CDECL spells that out, because i686 MinGW would otherwise make
// member functions thiscall (callee cleans, `this` in ECX).
#pragma once

#include <cstdint>

#if !defined(__i386__)
#error "The host interface is 32-bit x86 only: build with -m32 or for i686."
#endif

#define SE_CDECL __attribute__((cdecl))

static_assert(sizeof(long) == 4 && sizeof(void*) == 4 && sizeof(float) == 4,
              "every field that crosses the interface is 32 bits wide");

struct SEMod_struct_base2;

// Host callback (module to host) and record dispatch entry (host to module)
// share this signature. The module always passes its own record first and
// 0.0 as `opt`.
typedef long(SE_CDECL* SEHostCallback)(SEMod_struct_base2* record, long opcode,
                                       long index, long value, void* ptr,
                                       float opt);
typedef SEHostCallback SEDispatchFunction;

enum EDirection : int32_t { DR_IN = 0, DR_OUT = 1 };

// Stream state of a pin. Ordered: the output state is the largest of the
// inputs' states, adjusted for inputs that hold at zero.
enum state_type : int32_t { ST_STATIC = 0, ST_ONE_SHOT = 1, ST_RUNNING = 2 };

// Pin data types, codes 0 to 8. Only DT_FSAMPLE has a name here: the other
// codes matter only for the storage a pin keeps when it has no variable.
enum EPlugDataType : int32_t { DT_FSAMPLE = 5 };

// Plug flag bits of SEPinProperties::flags; these five are all the module
// side examines.
enum : uint32_t {
  IO_REPEATABLE = 0x8,           // last description repeats to the pin count
  IO_PRIVATE = 0x100,            // lets a stored input pass the check
  IO_UI_COMMUNICATION = 0x400,   // no processing-side pin unless UI_WITH_PIN
  IO_UI_WITH_PIN = 0x8000,       // a UI-communication plug still gets a pin
  IO_PATCH_STORE = 0x10000,      // stored inputs must be private or UI plugs
};

// Host to module: dispatcher opcodes. 4, 5, 9 and 11 exist but do nothing;
// 7 and 10 are never sent.
enum : long {
  MOD_OPEN = 0,
  MOD_CLOSE = 1,
  MOD_SET_SAMPLE_RATE = 2,
  MOD_SET_BLOCK_SIZE = 3,
  MOD_GET_PIN_PROPERTIES = 6,
  MOD_RESUME = 8,
  MOD_GUI_NOTIFY = 12,
  MOD_GET_INFO = 13,
};

// Module to host: callback opcodes, the only services the module asks for.
enum : long {
  HOST_SET_PIN_STATUS = 0,          // index pin, value state, ptr clock
  HOST_IS_PIN_CONNECTED = 1,        // index pin; non-zero when connected
  HOST_GET_SAMPLE_CLOCK = 3,        // the current sample clock
  HOST_SEND_MIDI = 4,               // index pin, value message, ptr clock
  HOST_GET_PIN_BUFFER = 7,          // index pin; address of its buffer
  HOST_GET_BLOCK_START_CLOCK = 8,   // index pin; clock of element 0
  HOST_GET_PIN_COUNT = 14,          // pins of this instance; <= 0 is none
  HOST_ADD_EVENT = 19,              // ptr SeEvent, copied during the call
  HOST_SET_PROCESS_FUNCTION = 22,   // the record already holds the new entry
};

// Timed event types the module acts on; every other type is ignored.
enum : int32_t {
  EV_STATUS_CHANGE = 0,  // int_param1 new state, ptr_param pin number
  EV_MIDI = 2,           // int_param1 data, low 16 bits of int_param2
  EV_RUN_DELAYED = 21,   // ptr_param the code word of a member function
};

// sdk_version written by getModuleProperties.
constexpr int32_t SE_SDK_VERSION = 2230;
