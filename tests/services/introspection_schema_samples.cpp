// Writes, for the input and the output of every operation, one line of JSON for
// check_plain_json_schema.py (data/plain_json_schema_lines.h), with the schemas the
// introspection service exports: the work result's for a task operation, whose random output
// values are values of its work's result. Exits 1 when the service does not answer or the
// reader disagrees with a payload.
#include "data/plain_json_schema_lines.h"

#include <iostream>
#include <memory>
#include <string>

#include "data/operation_table.h"
#include "introspection_support.h"

int main() {
  using IntrospectionTest::Await;
  using Ormi::Services::IntrospectionSvc;
  auto const registry = IntrospectionTest::FullRegistry();
  IntrospectionSvc::AsyncServiceStub stub(std::make_shared<Ormi::InProcess::Channel>(
      registry, std::make_shared<Ormi::InProcess::InlineExecutor>()));
  bool agreed = true;
  for (auto const& operation : Ormi::Data::Testing::AllOperations()) {
    auto const schema = Await<IntrospectionSvc::SchemaMethod>([&](auto const& result) {
      stub.Schema(operation.service, operation.operation, nullptr, result);
    });
    if (!schema.value || (operation.task && !(*schema.value)->work_result)) {
      std::cerr << operation.name << ": no schema\n";
      return 1;
    }
    auto const& exported = **schema.value;
    agreed &= Ormi::Data::Testing::WritePart(operation.name + " input", operation.input,
                                             operation.input_value, exported.input);
    agreed &= Ormi::Data::Testing::WritePart(
        operation.name + (operation.task ? " work result" : " output"), operation.output,
        operation.output_value, operation.task ? *exported.work_result : exported.output);
  }
  return agreed ? 0 : 1;
}
