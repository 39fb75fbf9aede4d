#pragma once
// A JSON Schema check for the part of the language the project's schemas use: type (one or a
// list), const, enum, required, properties, additionalProperties: false, items, minimum,
// minLength, pattern, oneOf and "$ref" to "#/$defs/NAME". Any other keyword fails the check, so
// that a schema cannot quietly say more than is checked.
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace zrk::test {

class JsonSchemaCheck {
  public:
    explicit JsonSchemaCheck(nlohmann::json schema) : m_Schema(std::move(schema)) {}

    // Every place where value breaks the schema, as "path: what"; empty when it conforms.
    std::vector<std::string> problems(const nlohmann::json& value) const {
        std::vector<std::string> out;
        check(m_Schema, value, "$", out);
        return out;
    }

  private:
    static bool hasType(const nlohmann::json& v, const std::string& type) {
        if (type == "object")
            return v.is_object();
        if (type == "array")
            return v.is_array();
        if (type == "string")
            return v.is_string();
        if (type == "integer")
            return v.is_number_integer();
        if (type == "number")
            return v.is_number();
        if (type == "boolean")
            return v.is_boolean();
        if (type == "null")
            return v.is_null();
        return false;
    }

    void check(const nlohmann::json& s, const nlohmann::json& v, const std::string& at,
               std::vector<std::string>& out) const {
        static const std::set<std::string> known = {
            "$schema", "title",   "description", "$defs",      "type",
            "const",   "enum",    "required",    "properties", "additionalProperties",
            "items",   "minimum", "minLength",   "pattern",    "oneOf",
            "$ref"};
        for (const auto& [key, _] : s.items())
            if (!known.count(key))
                out.push_back(at + ": the schema uses '" + key + "', which is not checked");
        if (s.contains("$ref")) {
            const std::string ref = s["$ref"];
            const std::string prefix = "#/$defs/";
            if (ref.rfind(prefix, 0) != 0 ||
                !m_Schema["$defs"].contains(ref.substr(prefix.size()))) {
                out.push_back(at + ": unknown $ref " + ref);
                return;
            }
            check(m_Schema["$defs"][ref.substr(prefix.size())], v, at, out);
        }
        if (s.contains("type")) {
            const auto& t = s["type"];
            bool ok = false;
            if (t.is_string())
                ok = hasType(v, t);
            else
                for (const auto& one : t)
                    ok = ok || hasType(v, one);
            if (!ok) {
                out.push_back(at + ": " + v.dump() + " is not of type " + t.dump());
                return;
            }
        }
        if (s.contains("const") && v != s["const"])
            out.push_back(at + ": " + v.dump() + " is not " + s["const"].dump());
        if (s.contains("enum")) {
            bool found = false;
            for (const auto& e : s["enum"])
                found = found || e == v;
            if (!found)
                out.push_back(at + ": " + v.dump() + " is none of " + s["enum"].dump());
        }
        if (s.contains("minimum") && v.is_number() && v.get<double>() < s["minimum"].get<double>())
            out.push_back(at + ": " + v.dump() + " is below " + s["minimum"].dump());
        if (v.is_string()) {
            const std::string text = v;
            if (s.contains("minLength") && text.size() < s["minLength"].get<std::size_t>())
                out.push_back(at + ": '" + text + "' is too short");
            if (s.contains("pattern") &&
                !std::regex_search(text, std::regex(s["pattern"].get<std::string>())))
                out.push_back(at + ": '" + text + "' does not match " + s["pattern"].dump());
        }
        if (s.contains("oneOf")) {
            int matching = 0;
            for (const auto& option : s["oneOf"]) {
                std::vector<std::string> inner;
                check(option, v, at, inner);
                matching += inner.empty() ? 1 : 0;
            }
            if (matching != 1)
                out.push_back(at + ": " + v.dump() + " matches " + std::to_string(matching) +
                              " of oneOf's schemas, not exactly one");
        }
        if (v.is_object()) {
            if (s.contains("required"))
                for (const auto& name : s["required"])
                    if (!v.contains(name.get<std::string>()))
                        out.push_back(at + ": '" + name.get<std::string>() + "' is missing");
            const auto props = s.value("properties", nlohmann::json::object());
            for (const auto& [name, member] : v.items()) {
                if (props.contains(name))
                    check(props[name], member, at + "." + name, out);
                else if (s.contains("additionalProperties") && s["additionalProperties"] == false)
                    out.push_back(at + ": '" + name + "' is not allowed");
            }
        }
        if (v.is_array() && s.contains("items"))
            for (std::size_t i = 0; i < v.size(); ++i)
                check(s["items"], v[i], at + "[" + std::to_string(i) + "]", out);
    }

    nlohmann::json m_Schema;
};

}  // namespace zrk::test
