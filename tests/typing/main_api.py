"""A program over the main API that the type checker must accept (make test-stubs)."""
import copy
import pickle
from typing import Dict, List

import VelorinLib as vl

qr = vl.QuantumRegister(2, "q")
cr = vl.ClassicalRegister(2, "c")
qc = vl.QuantumCircuit(qr, cr, name="bell")
qc.h(0)
qc.cx(0, 1).c_if(cr, 1)
qc.u(0.1, 0.2, 0.3, 1)
qc.mcx([0], 1)
qc.measure(0, 0)
qc.measure_all()
inverse: vl.QuantumCircuit = qc.inverse()
ops: Dict[str, int] = qc.count_ops()
text: str = qc.qasm()
size: int = qc.size() + qc.depth()
twin: vl.QuantumCircuit = pickle.loads(pickle.dumps(qc))
again: vl.QuantumCircuit = copy.deepcopy(qc)

backend = vl.BackendV2()
job: vl.JobV1 = backend.run(qc, shots=100, mode="sync", performance="HighestAccuracy")
status: vl.JobStatus = job.status()
result: vl.Result = job.result()
counts: Dict[str, int] = result.get_counts()
memory: List[str] = result.get_memory()
probabilities: List[float] = result.get_probabilities()
state: List[complex] = vl.BackendV2().run(vl.QuantumCircuit(1), 1, True).result().get_statevector()
vl.job_monitor(job, 0, True)
print(len(counts), len(memory), len(probabilities), len(state), status, size, ops, text[:0])
