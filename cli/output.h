// Machine output: one JSON document per command on standard output.
#pragma once

#include <iostream>
#include <nlohmann/json.hpp>

inline void PrintJson(const nlohmann::json& j) { std::cout << j.dump(2) << '\n'; }
