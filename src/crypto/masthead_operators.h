// The operator list of a site masthead: the "Operator-List" part, a text of the form
//
//   version=2
//   :seq=1:cn=Alice:type=op:dbname=db1:actions=Enable:dbis=false:
//
// one operator a line. Each field's value runs from behind its name to the next ":" of the line;
// with percent-decoding on, "%" and two hexadecimal digits stand for that byte (a "%" without them
// empties the value). A line becomes an operator when seq is a number from 1 to 2,147,483,647 and cn,
// type, dbname and actions are not empty; other lines are skipped.
//
// Unique: among the operators that are not database sites, an operator is unique while no other one
// has the same common name and type (ASCII case ignored).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/const_data.h"

struct MastheadOperator {
    std::int32_t Sequence = 0;
    std::string CommonName;
    std::string Type;
    std::string DatabaseName;
    bool ActionsEnabled = false;  // "actions" is exactly "Enable"
    bool Unique = true;
    bool DatabaseIsSite = false;  // "dbis" is "true", ASCII case ignored
};

using MastheadOperatorList = std::vector<MastheadOperator>;

// Appends the operators of the text to the list. Returns false, adding nothing, when the text does
// not begin with "version=2" and a line end.
bool ParseMastheadOperatorList(ConstData text, bool percentDecoding, MastheadOperatorList& operators);

// Appends one operator, updating the Unique flags of the list and the new one.
void AddMastheadOperator(MastheadOperatorList& operators, MastheadOperator added);
