#include "thermo_coolprop.hpp"

#include <dlfcn.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "job_file.hpp"
#include "stop.hpp"
#include "strings.hpp"

namespace quorl {

namespace {

// The library's C interface: handles, indices, error codes and buffer lengths are C longs.
using get_index_fn = long (*)(const char* name);
using factory_fn = long (*)(const char* backend, const char* fluid, long* errcode, char* message_buffer,
                            const long buffer_length);
using update_fn = void (*)(const long handle, const long input_pair, const double value1, const double value2,
                           long* errcode, char* message_buffer, const long buffer_length);
using keyed_output_fn = double (*)(const long handle, const long param, long* errcode, char* message_buffer,
                                   const long buffer_length);

constexpr long buffer_length = 256;

// The process-wide binding: set once by the first construction, never released.
struct coolprop_binding_t {
    void* handle = nullptr;
    update_fn dll_abstractstate_update = nullptr;
    keyed_output_fn dll_abstractstate_keyed_output = nullptr;
    long hp_inputs = -1;
    long hs_inputs = -1;
    long ps_inputs = -1;
    long pt_inputs = -1;
    long st_inputs = -1;
    long ip = -1;
    long it = -1;
    long idmass = -1;
    long ihmass = -1;
    long ismass = -1;
    long iviscosity = -1;
    long iprandtl = -1;
    long icpmass = -1;
    long isound_speed = -1;
};

coolprop_binding_t binding;

// Written by every library call.
long errcode = 0;
char msgbuffer[buffer_length] = {};

// What the library wrote into the buffer: up to its NUL, never beyond the buffer, without
// trailing blanks.
std::string library_message() {
    const std::size_t n = strnlen(msgbuffer, static_cast<std::size_t>(buffer_length));
    return std::string(trim_right(std::string_view(msgbuffer, n)));
}

template <class F>
F lookup_function(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) fatal(std::string("Error loading function ") + name);
    return reinterpret_cast<F>(symbol);
}

// Loads the library named by `library` and looks up its functions and indices, in the order
// whose messages a user sees first. The process-wide binding is replaced only once every step
// has succeeded, so a failed attempt leaves it unbound.
void bind_library(const toml::table& coolprop) {
    std::string library;
    if (get_value(coolprop, "library", library) != stat_success) fatal("coolprop.library not found in thermo table");
    const std::string path(trim_right(library));
    // dlopen takes an empty name for the program itself, which is not a library to bind to.
    void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_LAZY);
    if (handle == nullptr) fatal("Error opening library: " + path);

    coolprop_binding_t b;
    b.handle = handle;

    const auto get_input_pair_index = lookup_function<get_index_fn>(handle, "get_input_pair_index");
    const std::pair<const char*, long*> input_pairs[] = {
        {"HmassP_INPUTS", &b.hp_inputs}, {"HmassSmass_INPUTS", &b.hs_inputs}, {"PSmass_INPUTS", &b.ps_inputs},
        {"PT_INPUTS", &b.pt_inputs},     {"SmassT_INPUTS", &b.st_inputs},
    };
    for (const auto& [name, index] : input_pairs) {
        *index = get_input_pair_index(name);
        if (*index < 0) fatal(std::string("Error getting input pair index for ") + name);
    }

    const auto get_param_index = lookup_function<get_index_fn>(handle, "get_param_index");
    struct param_t {
        const char* name;
        const char* label;  // as the message names it
        long* index;
    };
    const param_t params[] = {
        {"P", "P", &b.ip},
        {"T", "T", &b.it},
        {"Dmass", "Dmass", &b.idmass},
        {"Hmass", "Hmass", &b.ihmass},
        {"Smass", "Smass", &b.ismass},
        {"viscosity", "viscosity", &b.iviscosity},
        {"Prandtl", "Prandtl number", &b.iprandtl},
        {"Cpmass", "Cpmass", &b.icpmass},
        {"speed_of_sound", "sound_speed", &b.isound_speed},
    };
    for (const auto& param : params) {
        *param.index = get_param_index(param.name);
        if (*param.index < 0) fatal(std::string("Error getting param index for ") + param.label);
    }

    b.dll_abstractstate_update = lookup_function<update_fn>(handle, "AbstractState_update");
    b.dll_abstractstate_keyed_output = lookup_function<keyed_output_fn>(handle, "AbstractState_keyed_output");
    binding = b;
}

// Sets `state` to the pair (a, b) and returns the parameter's value as the library gives it.
double evaluate(long state, long input_pair, double a, double b, long param, const char* fetch_error) {
    binding.dll_abstractstate_update(state, input_pair, a, b, &errcode, msgbuffer, buffer_length);
    if (errcode != 0) fatal("Error updating AbstractState object: " + library_message());
    const double value = binding.dll_abstractstate_keyed_output(state, param, &errcode, msgbuffer, buffer_length);
    if (errcode != 0) fatal(fetch_error + library_message());
    return value;
}

constexpr const char* density_error = "Error getting density from AbstractState object: ";
constexpr const char* entropy_error = "Error getting entropy from AbstractState object: ";
constexpr const char* enthalpy_error = "Error getting enthalpy from AbstractState object: ";
constexpr const char* temperature_error = "Error getting temperature from AbstractState object: ";
constexpr const char* pressure_error = "Error getting pressure from AbstractState object: ";

}  // namespace

thermo_coolprop_t::thermo_coolprop_t(long abstract_state, long heos_abstract_state, std::string fluid,
                                     std::string backend)
    : abstract_state_(abstract_state),
      heos_abstract_state_(heos_abstract_state),
      fluid_(std::move(fluid)),
      backend_(std::move(backend)) {}

std::unique_ptr<thermo_t> new_thermo_coolprop_t(const toml::table& thermo) {
    const toml::table* coolprop = get_table(thermo, "coolprop");
    if (coolprop == nullptr) fatal("coolprop not found in thermo table");
    if (binding.handle == nullptr) bind_library(*coolprop);

    std::string fluid;
    if (get_value(*coolprop, "fluid", fluid) != stat_success) fatal("coolprop.fluid not found in thermo table");
    std::string backend;
    if (get_value(*coolprop, "backend", backend) != stat_success)
        fatal("coolprop.backend not found in thermo table");

    const auto factory = lookup_function<factory_fn>(binding.handle, "AbstractState_factory");
    const std::string fluid_name(trim_right(fluid));
    const std::string backend_name(trim_right(backend));
    const long abstract_state =
        factory(backend_name.c_str(), fluid_name.c_str(), &errcode, msgbuffer, buffer_length);
    if (errcode != 0) fatal("Error creating AbstractState object: " + library_message());
    const long heos_abstract_state = factory("HEOS", fluid_name.c_str(), &errcode, msgbuffer, buffer_length);
    if (errcode != 0) fatal("Error creating HEOS AbstractState object: " + library_message());

    return std::unique_ptr<thermo_t>(
        new thermo_coolprop_t(abstract_state, heos_abstract_state, std::move(fluid), std::move(backend)));
}

void reset_coolprop_binding_for_tests() { binding = coolprop_binding_t{}; }

double thermo_coolprop_t::density_hp(double h, double p) const {
    return evaluate(abstract_state_, binding.hp_inputs, h, p, binding.idmass, density_error);
}

double thermo_coolprop_t::density_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.idmass, density_error);
}

double thermo_coolprop_t::density_ps(double p, double s) const {
    return evaluate(abstract_state_, binding.ps_inputs, p, s, binding.idmass, density_error);
}

double thermo_coolprop_t::entropy_hp(double h, double p) const {
    return evaluate(abstract_state_, binding.hp_inputs, h, p, binding.ismass, entropy_error);
}

double thermo_coolprop_t::enthalpy_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.ihmass, enthalpy_error);
}

double thermo_coolprop_t::entropy_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.ismass, entropy_error);
}

double thermo_coolprop_t::prandtl_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.iprandtl,
                    "Error getting Prandtl number from AbstractState object: ");
}

double thermo_coolprop_t::specific_heat_pressure_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.icpmass,
                    "Error getting specific heat from AbstractState object: ");
}

double thermo_coolprop_t::sound_speed_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.isound_speed,
                    "Error getting sound speed from AbstractState object: ");
}

double thermo_coolprop_t::pressure_hs(double h, double s) const {
    return evaluate(heos_abstract_state_, binding.hs_inputs, h, s, binding.ip, pressure_error);
}

double thermo_coolprop_t::viscosity_pt(double p, double T) const {
    return evaluate(abstract_state_, binding.pt_inputs, p, T, binding.iviscosity,
                    "Error getting viscosity from AbstractState object: ");
}

double thermo_coolprop_t::temperature_ps(double p, double s) const {
    return evaluate(abstract_state_, binding.ps_inputs, p, s, binding.it, temperature_error);
}

double thermo_coolprop_t::temperature_hp(double h, double p) const {
    return evaluate(abstract_state_, binding.hp_inputs, h, p, binding.it, temperature_error);
}

double thermo_coolprop_t::enthalpy_ps(double p, double s) const {
    return evaluate(abstract_state_, binding.ps_inputs, p, s, binding.ihmass, enthalpy_error);
}

double thermo_coolprop_t::pressure_st(double s, double T) const {
    return evaluate(abstract_state_, binding.st_inputs, s, T, binding.ip, pressure_error);
}

double thermo_coolprop_t::density_hs(double h, double s) const {
    return evaluate(abstract_state_, binding.hs_inputs, h, s, binding.idmass, density_error);
}

}  // namespace quorl
