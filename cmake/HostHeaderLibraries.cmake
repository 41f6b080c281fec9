# A cross build finds no packages for its target; CLI11, toml++ and
# nlohmann-json are headers only, so the build host's copies serve the
# target. They are linked into a folder of their own, which keeps the host's
# /usr/include (and its C library) off the target's include path.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})
foreach(folder CLI toml++ nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${host_headers}/${folder} SYMBOLIC)
endforeach()

foreach(target CLI11::CLI11 tomlplusplus::tomlplusplus nlohmann_json::nlohmann_json)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${host_headers})
endforeach()
# Debian builds toml++ as a shared library; the target compiles it in.
set_target_properties(tomlplusplus::tomlplusplus PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS TOML_HEADER_ONLY=1)
