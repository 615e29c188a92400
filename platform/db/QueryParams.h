#pragma once
// Query parameters that a request may set.
//
// A line of a query's Params is "name=value" (the value is bound as text,
// as always), or it declares that a request may set the parameter, with a
// type and limits, between the name and the "=":
//
//   region:text(16)=ALL          text of at most 16 bytes, bound as text
//   year:integer(2000..2100)=2026 a whole number in the range, bound as an integer
//   factor:real(0..10)=1.5        a number in the range, bound as a real
//
// The value after "=" is the form's value, used while no request sets the
// parameter; it must itself satisfy the declaration. Values are always
// bound as typed parameters of the database, never pasted into the SQL.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Field.h"
#include "platform/rtl/Strings.h"

namespace pv {

struct TQueryParam {
    enum class TKind : std::uint8_t { pkPlain, pkText, pkInteger, pkReal };
    std::string Name;
    TKind Kind = TKind::pkPlain;
    // pkInteger and pkReal: the allowed range.
    double Min = 0;
    double Max = 0;
    // pkInteger: the allowed range exactly, from the declaration's text (a
    // bound past what 64 bits hold, or with a fraction, is the nearest whole
    // number inside the range it declares).
    std::int64_t IntMin = 0;
    std::int64_t IntMax = 0;
    // pkText: the longest value in bytes.
    std::size_t MaxLength = 0;
    // The form's value.
    std::string Value;

    // Whether a request may set the parameter (a declared type).
    bool RequestSettable() const { return Kind != TKind::pkPlain; }
    // What a value must be, for messages: "an integer in 2000..2100",
    // "a number in 0..10", "text of at most 16 bytes".
    std::string Allowed() const;
    // Converts Text to the typed value to bind; an empty result when Text
    // does not satisfy the declaration.
    std::optional<TFieldValue> Convert(std::string_view Text) const;
};

// Parses one Params line. Raises EDatabaseError, naming the line number
// (from 1), the line and what is wrong, for a line that is neither form.
// An empty line gives nothing.
std::optional<TQueryParam> ParseQueryParamLine(const std::string& Line, int LineNumber);

// What a query with Params offers a caller that sets the declared
// parameters for one read (the chart server, for a request's URL
// parameters). The query data sets derive from it beside TDataSet.
class TRequestParams {
public:
    virtual ~TRequestParams() = default;

    // The parameters of the Params lines, in order. Raises EDatabaseError
    // naming the query and the line for a malformed line.
    std::vector<TQueryParam> GetParamList() const;
    // Gives a declared parameter a value in place of its form value, for
    // the next reads (open or refresh) until ClearParamValues; the query is
    // not closed. Raises EDatabaseError naming the parameter and what it
    // allows when the name is not declared request-settable or the value
    // does not satisfy the declaration.
    void SetParamValue(const std::string& Name, const std::string& Value);
    // Drops every value set by SetParamValue: the form values count again
    // at the next read.
    void ClearParamValues() { FParamValues.clear(); }
    const std::vector<std::pair<std::string, std::string>>& GetParamValues() const { return FParamValues; }

protected:
    // The query's Params lines.
    virtual const TStrings& ParamLines() const = 0;
    // What messages name the query by: its name, or its class name.
    virtual std::string ParamOwner() const = 0;
    // The parameter of List named Name (the first line of a name counts),
    // with the text a read binds: the value set for it, else the form's.
    // Raises "parameter "<Shown>" has no value in Params" without one.
    std::pair<const TQueryParam*, std::string_view> ParamForRead(const std::vector<TQueryParam>& List,
                                                                 const std::string& Name,
                                                                 const std::string& Shown) const;

private:
    // Raises EDatabaseError with Message after the query's name.
    [[noreturn]] void ParamError(const std::string& Message) const;

    std::vector<std::pair<std::string, std::string>> FParamValues;
};

}  // namespace pv
