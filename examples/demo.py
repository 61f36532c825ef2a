"""A small training loop recorded with trovik, then its run file printed.

    python examples/demo.py --epochs 3 --lr 0.05

The hyperparameters become the run's metadata, every step tracks its loss, every epoch adds a
note, and the end of the `with` block records how the run ended. The run file lands in
$TROVIK_DIR/runs (default .trovik/runs).
"""

import argparse
import math
import random

import trovik


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--epochs", type=int, default=2)
    parser.add_argument("--steps", type=int, default=3, help="steps per epoch")
    parser.add_argument("--lr", type=float, default=0.1)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()

    with trovik.Experiment("demo", metadata=vars(args)) as run:
        rng = random.Random(args.seed)
        weight = 0.0
        for epoch in range(args.epochs):
            for step in range(args.steps):
                target = 3.0 + rng.gauss(0.0, 0.1)
                loss = (weight - target) ** 2
                weight -= args.lr * 2 * (weight - target)
                run.track({"epoch": epoch, "step": step, "loss": loss})
            run.track({"weight": weight, "rmse": math.sqrt(loss)}, note=f"end of epoch {epoch}")

    print(f"run {run.run_id} recorded in {run.path}:\n")
    with open(run.path, encoding="utf-8") as f:
        print(f.read(), end="")


if __name__ == "__main__":
    main()
