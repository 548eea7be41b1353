// The plug-in path table: which plug-in answers a request path.
//
// Keys are the plug-ins' names, lower-cased (ASCII); the table does not own the plug-ins. FindPlugIn
// takes the path of a request target, drops one leading "/", percent-decodes and lower-cases it, and
// looks it up; when that fails it cuts the key before its last "/" and tries again, so
// "/CGI-BIN/Tool.exe/extra" reaches the plug-in registered as "cgi-bin/tool.exe", while "a/bc" never
// reaches "a/b".
//
// Filled and started before the server runs; read-only afterwards, so any thread may look up.
#pragma once

#include <map>
#include <string>

#include "base/const_data.h"
#include "http/http_plugin.h"

using PlugInPathTable = std::map<std::string, HTTPPlugIn*>;

// Registers every name of the plug-in; a name already present is taken over.
void RegisterPlugInNames(PlugInPathTable& table, HTTPPlugIn& plugIn);
// Calls Start once for each plug-in in the table, in key order.
void StartPlugIns(PlugInPathTable& table);
// The plug-in for the path, or null.
HTTPPlugIn* FindPlugIn(const PlugInPathTable& table, ConstData path);
