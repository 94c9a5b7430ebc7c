"""Device descriptions, service descriptions and behaviour files for the
interop peers.

Shared by the Python devices of tests/interop (standard library only, so
that any python3 can import it). README.md beside this file describes the
behaviour file.
"""

import json
import os
import xml.etree.ElementTree as ET

DEVICE_NS = "urn:schemas-upnp-org:device-1-0"
SERVICE_NS = "urn:schemas-upnp-org:service-1-0"


def _child_text(element, ns, name, default=None):
    child = element.find(f"{{{ns}}}{name}")
    if child is None or child.text is None:
        return default
    return child.text.strip()


class ServiceEntry:
    """One <service> of a device description."""

    def __init__(self, service_type, service_id, scpd_url, control_url, event_url):
        self.service_type = service_type
        self.service_id = service_id
        self.scpd_url = scpd_url
        self.control_url = control_url
        self.event_url = event_url

    def scpd_path(self, description_dir):
        return os.path.join(description_dir, self.scpd_url.lstrip("/"))


def load_device_description(path):
    """Every service of the root device and its embedded devices, in
    document order."""
    root = ET.parse(path).getroot()
    services = []
    for service in root.iter(f"{{{DEVICE_NS}}}service"):
        services.append(ServiceEntry(
            _child_text(service, DEVICE_NS, "serviceType"),
            _child_text(service, DEVICE_NS, "serviceId"),
            _child_text(service, DEVICE_NS, "SCPDURL"),
            _child_text(service, DEVICE_NS, "controlURL"),
            _child_text(service, DEVICE_NS, "eventSubURL")))
    return services


class Argument:
    def __init__(self, name, direction, variable):
        self.name = name
        self.direction = direction
        self.variable = variable


class Variable:
    def __init__(self, name, data_type, default):
        self.name = name
        self.data_type = data_type
        self.default = default


class ServiceDescription:
    """The actions and state variables of one SCPD."""

    def __init__(self, path):
        root = ET.parse(path).getroot()
        self.actions = {}
        for action in root.iter(f"{{{SERVICE_NS}}}action"):
            name = _child_text(action, SERVICE_NS, "name")
            if not name:
                continue
            arguments = []
            for argument in action.iter(f"{{{SERVICE_NS}}}argument"):
                arguments.append(Argument(
                    _child_text(argument, SERVICE_NS, "name"),
                    _child_text(argument, SERVICE_NS, "direction"),
                    _child_text(argument, SERVICE_NS, "relatedStateVariable")))
            self.actions[name] = arguments
        self.variables = {}
        for variable in root.iter(f"{{{SERVICE_NS}}}stateVariable"):
            name = _child_text(variable, SERVICE_NS, "name")
            self.variables[name] = Variable(
                name, _child_text(variable, SERVICE_NS, "dataType"),
                _child_text(variable, SERVICE_NS, "defaultValue"))

    def inputs(self, action):
        return [a for a in self.actions.get(action, []) if a.direction == "in"]

    def outputs(self, action):
        return [a for a in self.actions.get(action, []) if a.direction == "out"]

    def data_type(self, action, argument):
        for a in self.actions.get(action, []):
            if a.name == argument:
                variable = self.variables.get(a.variable)
                return variable.data_type if variable else None
        return None


class Answer:
    """What a device answers: output values in description order, or a
    UPnP error."""

    def __init__(self, outputs=None, error_code=None, error_description=None):
        self.outputs = outputs or []
        self.error_code = error_code
        self.error_description = error_description

    @property
    def is_error(self):
        return self.error_code is not None

    def __repr__(self):
        if self.is_error:
            return f"Answer(error {self.error_code} {self.error_description!r})"
        return f"Answer({self.outputs!r})"


STANDARD_ERRORS = {
    401: "Invalid Action",
    402: "Invalid Args",
    404: "Invalid Var",
    501: "Action Failed",
    600: "Argument Value Invalid",
    601: "Argument Value Out of Range",
}


def _error_answer(entry):
    code = int(entry["code"])
    return Answer(error_code=code,
                  error_description=entry.get("description", STANDARD_ERRORS.get(code, "")))


class Behaviour:
    """A behaviour file: per service type, what each action answers and the
    value of each state variable."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        self.services = document.get("services", {})

    def _service(self, service_type):
        return self.services.get(service_type, {})

    def variable_value(self, service_type, description, name):
        """The value text of a state variable, or None when it has none."""
        values = self._service(service_type).get("variables", {})
        if name in values:
            return values[name]
        variable = description.variables.get(name)
        return variable.default if variable else None

    def query(self, service_type, description, name):
        if name not in description.variables:
            return _error_answer({"code": 404})
        value = self.variable_value(service_type, description, name)
        if value is None:
            return Answer(error_code=501, error_description=f"{name} has no value")
        return Answer(outputs=[(name, value)])

    def invoke(self, service_type, description, action, inputs):
        """inputs maps each input argument name to the text received."""
        if action not in description.actions:
            return _error_answer({"code": 401})
        entry = self._service(service_type).get("actions", {}).get(action, {})
        chosen = entry
        for case in entry.get("cases", []):
            if all(inputs.get(k) == v for k, v in case.get("when", {}).items()):
                chosen = case
                break
        if "error" in chosen:
            return _error_answer(chosen["error"])
        given = chosen.get("outputs", {})
        echo = chosen.get("echo", {})
        outputs = []
        for argument in description.outputs(action):
            if argument.name in given:
                value = given[argument.name]
            elif argument.name in echo:
                value = inputs.get(echo[argument.name])
            else:
                value = self.variable_value(service_type, description, argument.variable)
            if value is None:
                return Answer(error_code=501,
                              error_description=f"no value for {argument.name}")
            outputs.append((argument.name, value))
        return Answer(outputs=outputs)

    def check(self, service_type, description):
        """Names in the behaviour that the description does not know."""
        problems = []
        service = self._service(service_type)
        for action, entry in service.get("actions", {}).items():
            if action not in description.actions:
                problems.append(f"{service_type}: unknown action {action}")
                continue
            ins = {a.name for a in description.inputs(action)}
            outs = {a.name for a in description.outputs(action)}
            for rule in [entry] + entry.get("cases", []):
                for name in rule.get("when", {}):
                    if name not in ins:
                        problems.append(f"{action}: 'when' names {name}, not an input")
                for name in rule.get("outputs", {}):
                    if name not in outs:
                        problems.append(f"{action}: 'outputs' names {name}, not an output")
                for out, inp in rule.get("echo", {}).items():
                    if out not in outs or inp not in ins:
                        problems.append(f"{action}: 'echo' {out} <- {inp} does not match the arguments")
        for name in service.get("variables", {}):
            if name not in description.variables:
                problems.append(f"{service_type}: unknown state variable {name}")
        return problems
