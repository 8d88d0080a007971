#pragma once
// The bundled catalogue files of the command line (the service's own data folder)
// and the file types they name, for checking --types before a scan starts.

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// TRELLMOND_CATALOGUE_DIR when set, else the installed share/trellmond/service/catalogue, else
// service/data/catalogue of the source tree.
std::filesystem::path BundledCatalogue();

// The non-empty lines of a catalogue file, trimmed, without the reply form's "<BR />";
// false when the file cannot be read.
bool ReadCatalogueLines(const std::filesystem::path& path, std::vector<std::string>& lines);

// The extensions of overview lines (field 1), in order.
std::vector<std::string> KnownTypes(const std::vector<std::string>& overview);

// The entries of a comma-separated --types list that are not among `known` (case ignored).
std::vector<std::string> UnknownTypes(const std::string& types, const std::vector<std::string>& known);

// "unknown type pgn for the Undelete scan; known types: jpg, jpeg, ..." or empty when
// every type is known.
std::string UnknownTypesError(const std::string& types, const std::vector<std::string>& overview,
                              const std::string& scanName);

}  // namespace cli
