// Stand-in for the CoolProp shared library, for tests: the five functions of its C interface
// that the gas model calls, answering with perfect gases, and hooks (standin_*) for tests.
//
// Backends and fluids:
//   "HEOS"    knows "Air": R = 287, cp = 1004.5, Sutherland viscosity, Pr = 0.72;
//   "STANDIN" knows "Air" with other constants (so a test can tell which state answered) and
//             "StandinOnly", which "HEOS" does not know.
// Any known backend given the fluid "Unterminated" fails with a message that fills the whole
// buffer without a NUL (the last six characters blanks).
// Reference state of every gas: h = 0 at T = 0 K, s = 0 at T = 1 K and p = 1 Pa.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct gas_t {
    const char* backend;
    const char* fluid;
    double R;
    double cp;
    double mu0;
    double T0;
    double S;
    double Pr;
};

const gas_t gases[] = {
    {"HEOS", "Air", 287.0, 1004.5, 1.716e-05, 273.15, 110.4, 0.72},
    {"STANDIN", "Air", 296.8, 1040.0, 1.663e-05, 273.15, 107.0, 0.71},
    {"STANDIN", "StandinOnly", 188.9, 846.0, 1.37e-05, 273.15, 222.0, 0.75},
};

struct state_t {
    const gas_t* gas;
    bool set = false;
    double p = 0.0;
    double T = 0.0;
};

std::vector<state_t> states;

// Indices of our own choosing, in an order unlike the one the gas model asks for them.
struct named_index_t {
    const char* name;
    long index;
};

const named_index_t input_pairs[] = {
    {"PSmass_INPUTS", 3}, {"SmassT_INPUTS", 5}, {"HmassP_INPUTS", 7}, {"PT_INPUTS", 9}, {"HmassSmass_INPUTS", 11},
};

const named_index_t params[] = {
    {"speed_of_sound", 20}, {"Cpmass", 21}, {"Prandtl", 22}, {"viscosity", 23}, {"Smass", 24},
    {"Hmass", 25},          {"Dmass", 26},  {"T", 27},       {"P", 28},
};

std::string refused_name;   // refused by both index functions
std::string failing_param;  // parameter whose output fails

struct last_call_t {
    long handle = -1;
    long input_pair = -1;
    double value1 = 0.0;
    double value2 = 0.0;
    long param = -1;
    double value = 0.0;
} last_call;

long find_index(const named_index_t* table, std::size_t n, const char* name) {
    if (name == nullptr || refused_name == name) return -1;
    for (std::size_t i = 0; i < n; ++i)
        if (std::strcmp(table[i].name, name) == 0) return table[i].index;
    return -1;
}

[[maybe_unused]] const char* param_name(long index) {
    for (const auto& p : params)
        if (p.index == index) return p.name;
    return nullptr;
}

[[maybe_unused]] const char* pair_name(long index) {
    for (const auto& p : input_pairs)
        if (p.index == index) return p.name;
    return nullptr;
}

void fail(long* errcode, char* buffer, long length, const std::string& message) {
    *errcode = 1;
    if (buffer != nullptr && length > 0) std::snprintf(buffer, static_cast<std::size_t>(length), "%s", message.c_str());
}

void succeed(long* errcode, char* buffer, long length) {
    *errcode = 0;
    if (buffer != nullptr && length > 0) buffer[0] = '\0';
}

state_t* find_state(long handle) {
    if (handle < 0 || handle >= static_cast<long>(states.size())) return nullptr;
    return &states[static_cast<std::size_t>(handle)];
}

// Pressure of a gas at entropy s and temperature T.
// (Helpers are unused in the variants that lack the functions calling them.)
[[maybe_unused]] double pressure_st(const gas_t& g, double s, double T) {
    return std::exp((g.cp * std::log(T) - s) / g.R);
}

}  // namespace

#ifndef STANDIN_WITHOUT_get_input_pair_index
STANDIN_EXPORT long get_input_pair_index(const char* name) {
    return find_index(input_pairs, std::size(input_pairs), name);
}
#endif

#ifndef STANDIN_WITHOUT_get_param_index
STANDIN_EXPORT long get_param_index(const char* name) { return find_index(params, std::size(params), name); }
#endif

#ifndef STANDIN_WITHOUT_AbstractState_factory
STANDIN_EXPORT long AbstractState_factory(const char* backend, const char* fluid, long* errcode, char* message_buffer,
                                          const long buffer_length) {
    bool backend_known = false;
    for (const auto& g : gases) backend_known = backend_known || std::strcmp(g.backend, backend) == 0;
    if (!backend_known) {
        fail(errcode, message_buffer, buffer_length, std::string("Backend not known: ") + backend);
        return -1;
    }
    if (std::strcmp(fluid, "Unterminated") == 0) {
        *errcode = 2;
        if (buffer_length > 6) {
            std::memset(message_buffer, 'u', static_cast<std::size_t>(buffer_length - 6));
            std::memset(message_buffer + buffer_length - 6, ' ', 6);
        }
        return -1;
    }
    for (const auto& g : gases) {
        if (std::strcmp(g.backend, backend) == 0 && std::strcmp(g.fluid, fluid) == 0) {
            states.push_back(state_t{&g});
            succeed(errcode, message_buffer, buffer_length);
            return static_cast<long>(states.size()) - 1;
        }
    }
    fail(errcode, message_buffer, buffer_length,
         std::string("Fluid ") + fluid + " is not known to backend " + backend);
    return -1;
}
#endif

#ifndef STANDIN_WITHOUT_AbstractState_update
STANDIN_EXPORT void AbstractState_update(const long handle, const long input_pair, const double value1,
                                         const double value2, long* errcode, char* message_buffer,
                                         const long buffer_length) {
    last_call = last_call_t{handle, input_pair, value1, value2};
    state_t* state = find_state(handle);
    if (state == nullptr) return fail(errcode, message_buffer, buffer_length, "No state with this handle");
    const char* pair = pair_name(input_pair);
    if (pair == nullptr) return fail(errcode, message_buffer, buffer_length, "Input pair not known");
    const gas_t& g = *state->gas;
    const std::string name = pair;
    double p = 0.0;
    double T = 0.0;
    if (name == "HmassP_INPUTS") {
        T = value1 / g.cp;
        p = value2;
    } else if (name == "HmassSmass_INPUTS") {
        T = value1 / g.cp;
        p = T > 0.0 ? pressure_st(g, value2, T) : 0.0;
    } else if (name == "PSmass_INPUTS") {
        p = value1;
        T = p > 0.0 ? std::exp((value2 + g.R * std::log(p)) / g.cp) : 0.0;
    } else if (name == "PT_INPUTS") {
        p = value1;
        T = value2;
    } else {  // SmassT_INPUTS
        T = value2;
        p = T > 0.0 ? pressure_st(g, value1, T) : 0.0;
    }
    if (!(p > 0.0 && T > 0.0)) {
        state->set = false;
        return fail(errcode, message_buffer, buffer_length, "Inputs out of range for " + name);
    }
    state->set = true;
    state->p = p;
    state->T = T;
    succeed(errcode, message_buffer, buffer_length);
}
#endif

#ifndef STANDIN_WITHOUT_AbstractState_keyed_output
STANDIN_EXPORT double AbstractState_keyed_output(const long handle, const long param, long* errcode,
                                                 char* message_buffer, const long buffer_length) {
    last_call.param = param;
    last_call.value = 0.0;
    const state_t* state = find_state(handle);
    if (state == nullptr) {
        fail(errcode, message_buffer, buffer_length, "No state with this handle");
        return 0.0;
    }
    const char* pname = param_name(param);
    if (pname == nullptr) {
        fail(errcode, message_buffer, buffer_length, "Parameter not known");
        return 0.0;
    }
    if (!state->set) {
        fail(errcode, message_buffer, buffer_length, "State not set");
        return 0.0;
    }
    const std::string name = pname;
    if (name == failing_param) {
        fail(errcode, message_buffer, buffer_length, "Output " + name + " not available");
        return 0.0;
    }
    const gas_t& g = *state->gas;
    const double p = state->p;
    const double T = state->T;
    double value = 0.0;
    if (name == "P") value = p;
    else if (name == "T") value = T;
    else if (name == "Dmass") value = p / (g.R * T);
    else if (name == "Hmass") value = g.cp * T;
    else if (name == "Smass") value = g.cp * std::log(T) - g.R * std::log(p);
    else if (name == "viscosity") value = g.mu0 * std::pow(T / g.T0, 1.5) * (g.T0 + g.S) / (T + g.S);
    else if (name == "Prandtl") value = g.Pr;
    else if (name == "Cpmass") value = g.cp;
    else value = std::sqrt(g.cp / (g.cp - g.R) * g.R * T);  // speed_of_sound
    last_call.value = value;
    succeed(errcode, message_buffer, buffer_length);
    return value;
}
#endif

// Hooks for tests.

// The name (or nullptr for none) that both index functions refuse from now on.
STANDIN_EXPORT void standin_refuse_name(const char* name) { refused_name = name != nullptr ? name : ""; }

// The parameter (or nullptr for none) whose output fails from now on.
STANDIN_EXPORT void standin_fail_output(const char* name) { failing_param = name != nullptr ? name : ""; }

// What the last update and output calls received and what the output returned.
STANDIN_EXPORT void standin_last_call(long* handle, long* input_pair, double* value1, double* value2, long* param,
                                      double* value) {
    *handle = last_call.handle;
    *input_pair = last_call.input_pair;
    *value1 = last_call.value1;
    *value2 = last_call.value2;
    *param = last_call.param;
    *value = last_call.value;
}

// Backend of a state handle, or nullptr for an unknown handle.
STANDIN_EXPORT const char* standin_backend_of(long handle) {
    const state_t* state = find_state(handle);
    return state != nullptr ? state->gas->backend : nullptr;
}

// Number of states made so far.
STANDIN_EXPORT long standin_state_count() { return static_cast<long>(states.size()); }
