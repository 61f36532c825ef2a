#include "run/environment_record.h"

#include <utility>

#include "json/writer.h"
#include "run/envelope.h"
#include "run/gpu_query.h"
#include "run/installed_packages.h"
#include "run/platform_facts.h"
#include "util/environment.h"

namespace trovik::run {
namespace {

json::Value optional_string(std::optional<std::string> text) {
  return text ? json::Value::string(std::move(*text)) : json::Value::null();
}

json::Value python_value(const InterpreterFacts& interpreter) {
  json::Object python;
  python.insert("version", json::Value::string(interpreter.version));
  python.insert("implementation", json::Value::string(interpreter.implementation));
  python.insert("executable", optional_string(interpreter.executable));
  return json::Value::object(std::move(python));
}

json::Value platform_value() {
  PlatformFacts facts = platform_facts();
  json::Object platform;
  platform.insert("kernel", optional_string(std::move(facts.kernel)));
  platform.insert("libc", optional_string(std::move(facts.libc)));
  platform.insert("distribution", optional_string(std::move(facts.distribution)));
  return json::Value::object(std::move(platform));
}

json::Value gpus_value() {
  json::Array gpus;
  for (GpuFacts& gpu : nvidia_gpus()) {
    json::Object facts;
    facts.insert("name", json::Value::string(std::move(gpu.name)));
    facts.insert("driver", json::Value::string(std::move(gpu.driver)));
    facts.insert("memory_mib", gpu.memory_mib ? json::Value::unsigned_integer(*gpu.memory_mib)
                                              : json::Value::null());
    gpus.push_back(json::Value::object(std::move(facts)));
  }
  return json::Value::array(std::move(gpus));
}

json::Value variables_value() {
  json::Object variables;
  for (const char* name : recorded_variables()) {
    if (std::optional<std::string> value = environment_text(name)) {
      variables.insert(name, json::Value::string(std::move(*value)));
    }
  }
  return json::Value::object(std::move(variables));
}

}  // namespace

const std::vector<const char*>& recorded_variables() {
  static const std::vector<const char*> names = {
      // Which devices, and how many threads, the numerical libraries use.
      "CUDA_VISIBLE_DEVICES", "NVIDIA_VISIBLE_DEVICES", "CUDA_LAUNCH_BLOCKING",
      "CUBLAS_WORKSPACE_CONFIG", "NVIDIA_TF32_OVERRIDE", "PYTORCH_CUDA_ALLOC_CONF",
      "OMP_NUM_THREADS", "MKL_NUM_THREADS", "OPENBLAS_NUM_THREADS", "NUMEXPR_NUM_THREADS",
      "PYTHONHASHSEED",
      // Which job, and which process of a distributed one.
      "SLURM_JOB_ID", "SLURM_ARRAY_JOB_ID", "SLURM_ARRAY_TASK_ID", "SLURM_PROCID", "PBS_JOBID",
      "LSB_JOBID", "RANK", "LOCAL_RANK", "WORLD_SIZE"};
  return names;
}

json::Value environment_value(const InterpreterFacts& interpreter) {
  json::Object packages;
  json::Object editable;
  for (InstalledPackage& found : installed_packages(interpreter.search_path)) {
    if (found.editable_location) {
      editable.insert(found.name, json::Value::string(std::move(*found.editable_location)));
    }
    packages.insert(std::move(found.name), json::Value::string(std::move(found.version)));
  }

  json::Object environment;
  environment.insert("python", python_value(interpreter));
  environment.insert("platform", platform_value());
  environment.insert("packages", json::Value::object(std::move(packages)));
  environment.insert("editable_packages", json::Value::object(std::move(editable)));
  environment.insert("gpus", gpus_value());
  environment.insert("variables", variables_value());
  return json::Value::object(std::move(environment));
}

Status append_environment(const Run& run, const InterpreterFacts& interpreter) {
  return append_record(run, "environment", json::to_json_text(environment_value(interpreter)),
                       std::nullopt);
}

}  // namespace trovik::run
