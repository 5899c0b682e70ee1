#include "circuit/gate_kind.h"

namespace velorin {

// Lookups take the first row of a kind, so the order is part of the meaning.
const GateKindEntry kGateKindTable[kGateKindCount] = {
    {1, "h", "H"},          {2, "x", "X"},          {3, "i", "I"},
    {4, "id", "I"},         {5, "t", "T"},          {6, "s", "S"},
    {7, "tdg", "Tdg"},      {8, "sdg", "Sdg"},      {9, "sx", "Sx"},
    {10, "sxdg", "Sxdg"},   {11, "p", "P"},         {12, "r", "R"},
    {13, "rv", "Rv"},       {14, "rx", "RX"},       {15, "ry", "RY"},
    {16, "rz", "RZ"},       {17, "u", "U"},         {18, "y", "Y"},
    {19, "z", "Z"},         {55, "delay", "delay"}, {20, "cx", "X"},
    {21, "cy", "Y"},        {22, "cz", "Z"},        {23, "ch", "H"},
    {24, "cx", "X"},        {25, "cp", "P"},        {26, "crx", "RX"},
    {27, "cry", "RY"},      {28, "crz", "RZ"},      {29, "cs", "S"},
    {30, "csdg", "Sdg"},    {31, "csx", "Sx"},      {56, "ct", "T"},
    {32, "cu", "U"},        {33, "dcx", "Dcx"},     {34, "ecr", "Ecr"},
    {35, "iswap", "Iswap"}, {36, "rxx", "RXX"},     {37, "ryy", "RYY"},
    {38, "rzx", "RZX"},     {39, "rzz", "RZZ"},     {40, "swap", "Swap"},
    {41, "measure", "M"},   {42, "barrier", "B"},   {43, "barrier", "B"},
    {44, "reset", "|0>"},   {45, "cswap", "cswap"}, {46, "cu1", "U1"},
    {47, "cu3", "U3"},      {54, "u0", "U0"},       {48, "u1", "U1"},
    {49, "u2", "U2"},       {50, "ccx", "ccx"},     {51, "ccz", "ccz"},
    {52, "", ""},           {53, "", ""},
};

}  // namespace velorin
