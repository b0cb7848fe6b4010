// The native half of the `zentrova` package: one effect instance per Python object, its calls
// carried to the instance's own thread with the GIL released. Names, keywords and the friendly
// checks live in zentrova/__init__.py; this side checks again whatever would otherwise reach
// memory, so that a wrong call raises instead of crashing.
#include "effect_session.h"
#include "instance_thread.h"

#include "cli_errors.h"
#include "parameter_values.h"

#include "host/component.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <optional>
#include <sstream>
#include <type_traits>

namespace py = pybind11;
using zentrova_cli::parameter_description;

namespace zentrova_python {
namespace {

// The component inside the package (installed), else in the build tree the package was built in
// (build/python/zentrova/ beside build/Zentrova.component), else wherever the registry finds one.
// The bundle's first component is the plain effect; the keyed one is found by name once the
// bundle is registered. [GIL held]
AudioComponent find_component(bool keyed) {
    static AudioComponent plain = [] {
        Dl_info self{};
        if (dladdr(reinterpret_cast<void *>(&find_component), &self) != 0 && self.dli_fname != nullptr) {
            const std::filesystem::path package = std::filesystem::absolute(self.dli_fname).parent_path();
            if (AudioComponent c = host::register_first_bundle(
                    {package / "Zentrova.component", package.parent_path().parent_path() / "Zentrova.component"}))
                return c;
        }
        return host::find_component(kAudioUnitType_Effect, "Zentrova");
    }();
    AudioComponent component = keyed && plain ? host::find_component(kAudioUnitType_Effect, "Zentrova Keyed") : plain;
    if (component == nullptr)
        throw std::runtime_error(std::string("cannot find ") + (keyed ? "the keyed component in " : "") +
                                 "Zentrova.component inside the zentrova package, nor in the folders of "
                                 "AUDIO_COMPONENT_PATH");
    return component;
}

std::string number_text(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

// A setting's value from Python: a number within the range, or a menu item's name. [GIL held]
float setting_value(const parameter_description &p, py::handle value) {
    if (py::isinstance<py::str>(value)) return zentrova_cli::parse_value(p, value.cast<std::string>());
    if (py::isinstance<py::bool_>(value) || !PyNumber_Check(value.ptr()) || PyComplex_Check(value.ptr())) {
        std::string message = "setting \"" + p.name + "\" takes a number";
        if (!p.value_strings.empty()) message += " or a menu item such as \"" + p.value_strings.front() + "\"";
        throw py::type_error(message + ", not " + std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    const double v = py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
    if (!(v >= p.minimum && v <= p.maximum))
        throw py::value_error("value " + number_text(v) + " for \"" + p.name + "\" is out of range " +
                              number_text(p.minimum) + " to " + number_text(p.maximum));
    if (!p.value_strings.empty() && v != std::floor(v))
        throw py::value_error("value " + number_text(v) + " for \"" + p.name + "\" is not one of its menu items 0 to " +
                              number_text(p.maximum));
    return static_cast<float>(v);
}

// Memory of a numpy array of shape (channels, frames) or (frames,), checked against what is asked.
strided_samples samples_of(py::array &array, unsigned channels, bool writing, const char *what = "audio") {
    const py::dtype type = array.dtype();
    if (type.kind() != 'f' || (type.itemsize() != 4 && type.itemsize() != 8) || (writing && type.itemsize() != 4))
        throw py::type_error(std::string(writing ? "out" : what) + " must be float32" + (writing ? "" : " or float64") +
                             ", not " + py::cast<std::string>(py::str(static_cast<const py::handle &>(type))));
    if (array.ndim() == 2 ? array.shape(0) != static_cast<py::ssize_t>(channels) : (array.ndim() != 1 || channels != 1))
        throw py::value_error(std::string(what) + " of this shape does not fit " + std::to_string(channels) +
                              " channels");
    if (writing && !array.writeable()) throw py::value_error("out is read-only");
    strided_samples s;
    s.data = static_cast<char *>(const_cast<void *>(array.data()));
    s.is_double = type.itemsize() == 8;
    s.frame_stride = array.strides(array.ndim() - 1);
    s.channel_stride = array.ndim() == 2 ? array.strides(0) : 0;
    return s;
}

class python_effect {
public:
    python_effect(double sample_rate, unsigned channels, unsigned key_channels) : _pid(getpid()) {
        if (!std::isfinite(sample_rate) || sample_rate <= 0)
            throw py::value_error("sample_rate must be a positive number of Hz, not " + number_text(sample_rate));
        if (channels != 1 && channels != 2)
            throw py::value_error("channels must be 1 or 2, not " + std::to_string(channels));
        if (key_channels > 2) throw py::value_error("key_channels must be 1 or 2, not " + std::to_string(key_channels));
        AudioComponent component = find_component(key_channels > 0);
        py::gil_scoped_release unlocked;
        _thread = std::make_unique<instance_thread>();
        _thread->call(
            [&] { _session = std::make_unique<effect_session>(component, sample_rate, channels, key_channels); });
    }

    ~python_effect() {
        if (getpid() != _pid) {
            // A forked child copied this object but not its thread: nothing can be called there.
            _thread->abandon();
            (void)_thread.release();
            (void)_session.release();
            return;
        }
        py::gil_scoped_release unlocked;
        _thread->call([&] { _session.reset(); });
        _thread.reset();
    }

    double sample_rate() const { return _session->sample_rate(); }
    unsigned channels() const { return _session->channels(); }
    unsigned key_channels() const { return _session->key_channels(); }

    const parameter_description &parameter(AudioUnitParameterID id) const {
        const auto &table = _session->parameters();
        if (id >= table.size()) throw py::key_error("no parameter has id " + std::to_string(id));
        return table[id];
    }

    void set(AudioUnitParameterID id, py::handle value) {
        const float v = setting_value(parameter(id), value);
        on_thread([&] { _session->set(id, v); });
    }
    float get(AudioUnitParameterID id) {
        parameter(id);
        return on_thread([&] { return _session->get(id); });
    }
    double level() {
        return on_thread([&] { return _session->level(); });
    }
    void load_preset(const std::string &path) {
        on_thread([&] { _session->load_preset(path); });
    }
    void save_preset(const std::string &path, const std::string &name) {
        on_thread([&] { _session->save_preset(path, name); });
    }
    py::bytes state() {
        return py::bytes(on_thread([&] { return _session->state(); }));
    }
    void set_state(const std::string &bytes) {
        on_thread([&] { _session->set_state(bytes); });
    }

    // `lanes`: (id, [(seconds, value), ...]) pairs, ids already resolved.
    void process(py::array audio, py::array out, std::optional<py::array> key, unsigned block, bool reset,
                 py::list lanes) {
        if (block == 0 || block > (1u << 20)) throw py::value_error("block_size must be between 1 and 1048576 frames");
        const unsigned channels = _session->channels();
        const strided_samples in = samples_of(audio, channels, false);
        const strided_samples to = samples_of(out, channels, true);
        if (audio.ndim() != out.ndim() || audio.shape(audio.ndim() - 1) != out.shape(out.ndim() - 1))
            throw py::value_error("out must have the shape of audio");
        const auto frames = static_cast<std::size_t>(audio.shape(audio.ndim() - 1));
        const unsigned key_channels = _session->key_channels();
        if (key.has_value() != (key_channels > 0))
            throw py::value_error(key_channels > 0 ? "this effect follows a key: pass key="
                                                   : "key= needs an effect made with key_channels=1 or 2");
        strided_samples key_samples;
        if (key) {
            key_samples = samples_of(*key, key_channels, false, "key");
            if (static_cast<std::size_t>(key->shape(key->ndim() - 1)) != frames)
                throw py::value_error("key must have as many frames as audio");
        }
        std::vector<host::automation> automation;
        for (py::handle lane : lanes) {
            const auto pair = lane.cast<py::tuple>();
            const auto &p = parameter(pair[0].cast<AudioUnitParameterID>());
            host::automation a{p.id, {}};
            for (py::handle point : pair[1]) {
                const auto tv = py::reinterpret_borrow<py::sequence>(point);
                if (!py::isinstance<py::sequence>(point) || py::isinstance<py::str>(point) || tv.size() != 2)
                    throw py::value_error("automation points for \"" + p.name + "\" must be (seconds, value) pairs");
                const double seconds = py::float_(tv[0]).cast<double>();
                if (!(seconds >= 0) || !std::isfinite(seconds))
                    throw py::value_error("automation point time " + number_text(seconds) + " for \"" + p.name +
                                          "\" must be a number of seconds, at least 0");
                if (!a.points.empty() && seconds <= a.points.back().seconds)
                    throw py::value_error("automation points for \"" + p.name + "\" must be in increasing time order");
                a.points.push_back({seconds, setting_value(p, tv[1])});
            }
            if (a.points.empty()) throw py::value_error("automation for \"" + p.name + "\" has no points");
            automation.push_back(std::move(a));
        }
        on_thread([&] { _session->process(in, to, key ? &key_samples : nullptr, frames, block, reset, automation); });
    }

private:
    template <class Work> auto on_thread(Work &&work) -> std::invoke_result_t<Work &> {
        if (getpid() != _pid)
            throw std::runtime_error(
                "this Effect was made in the parent of a forked process; pass it to the child "
                "through pickling (multiprocessing does) or make a new one there");
        py::gil_scoped_release unlocked;
        return _thread->call(std::forward<Work>(work));
    }

    pid_t _pid;
    std::unique_ptr<instance_thread> _thread;
    std::unique_ptr<effect_session> _session;
};

py::list parameter_table() {
    zentrova_cli::effect_host host(find_component(false));
    py::list table;
    for (const auto &p : host.parameters()) {
        py::dict row;
        row["id"] = p.id;
        row["name"] = p.name;
        row["unit"] = zentrova_cli::unit_name(p.unit);
        row["minimum"] = p.minimum;
        row["maximum"] = p.maximum;
        row["default"] = p.default_value;
        row["menu"] = p.value_strings;
        table.append(row);
    }
    return table;
}

}  // namespace
}  // namespace zentrova_python

PYBIND11_MODULE(_zentrova, m) {
    using namespace zentrova_python;
    m.doc() = "The Zentrova formant filter effect, hosted through the platform's host API.";
    py::register_exception<zentrova_cli::internal_error>(m, "InternalError", PyExc_RuntimeError);
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const zentrova_cli::user_error &e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    m.def("parameter_table", &parameter_table);
    py::class_<python_effect>(m, "NativeEffect")
        .def(py::init<double, unsigned, unsigned>(), py::arg("sample_rate"), py::arg("channels"),
             py::arg("key_channels"))
        .def_property_readonly("sample_rate", &python_effect::sample_rate)
        .def_property_readonly("channels", &python_effect::channels)
        .def_property_readonly("key_channels", &python_effect::key_channels)
        .def("set", &python_effect::set)
        .def("get", &python_effect::get)
        .def("level", &python_effect::level)
        .def("load_preset", &python_effect::load_preset)
        .def("save_preset", &python_effect::save_preset)
        .def("state", &python_effect::state)
        .def("set_state", &python_effect::set_state)
        .def("process", &python_effect::process);
}
