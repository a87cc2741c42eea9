// Writes, for the input and the output of every operation, one line of JSON for
// check_plain_json_schema.py (plain_json_schema_lines.h), with the schema `ToJsonSchema` gives.
// Exits 1 when the reader disagrees with a payload.
#include "plain_json_schema_lines.h"

#include "operation_table.h"
#include "ormi/data/plain_json.h"

int main() {
  using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)
  bool agreed = true;
  for (auto const& operation : Testing::AllOperations()) {
    agreed &= Testing::WritePart(operation.name + " input", operation.input, operation.input_value,
                                 ToJsonSchema(*operation.input));
    agreed &= Testing::WritePart(operation.name + " output", operation.output,
                                 operation.output_value, ToJsonSchema(*operation.output));
  }
  return agreed ? 0 : 1;
}
