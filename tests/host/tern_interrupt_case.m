function tern_interrupt_case(name, step)
% tern_interrupt_case(name, step) is one step of the interrupt test, driven
% line by line by interrupt.sh while the session reads its commands from a
% pipe: 'prepare' builds a long input and a short one (and the short one's
% result), 'run' starts the long call, during which the driver sends
% SIGINT, and 'check' verifies that the call ended early, that the host's
% generator is as it was and that the module works again in the session.
  persistent cases;
  if isempty(cases), cases = struct(); end
  switch step
    case 'prepare'
      [R, milstd, varShapping] = tern_reference();
      rng(17, 'twister');
      if strcmp(name, 'ternFrameLock')
        % the search scores 512 candidate starts per sample of a symbol
        % period: a large oversampling factor makes it long
        Ns = 12000;
        longShapping = setfield(varShapping, 'oversamplingFactor', Ns);
        x = complex(randn(1024 * Ns, 1), randn(1024 * Ns, 1));
        c.long = {x, milstd, longShapping};
        c.short = {R.match_out, milstd, varShapping};
        c.part = {x(1:1024 * Ns / 10), milstd, setfield(varShapping, 'oversamplingFactor', Ns / 10)};
      else
        varWatterson = struct('model', 'ruim', 'EsNodB', 10, 'seed', 3);
        x = complex(randn(16e6, 1), randn(16e6, 1));
        c.long = {x, varWatterson, varShapping};
        c.short = {R.shape_out(1:3000), varWatterson, varShapping};
        c.part = {x(1:end / 10), varWatterson, varShapping};
      end
      fn = str2func(name);
      c.shortResult = fn(c.short{:});
      tic;
      fn(c.part{:});
      c.estimate = 10 * toc;  % the long call's duration, from a tenth of it
      rand(3, 1);             % a generator state that is not a fresh seed
      c.before = rng;
      c.finished = false;
      cases.(name) = c;
      printf('prepared %s: about %.1f s uninterrupted\n', name, c.estimate);
    case 'run'
      c = cases.(name);
      fn = str2func(name);
      printf('running %s\n', name);
      fflush(stdout);
      cases.(name).start = tic;
      fn(c.long{:});
      cases.(name).finished = true;  % not reached when the interrupt ends the call
      printf('%s finished without being interrupted\n', name);
    case 'check'
      c = cases.(name);
      elapsed = toc(c.start);
      assert(~c.finished, '%s was not interrupted', name);
      assert(elapsed < 0.75 * c.estimate, '%s took %.2f s of about %.2f s: the interrupt came late', name, elapsed, c.estimate);
      assert(isequal(rng, c.before), 'the host generator changed');
      fn = str2func(name);
      tern_same(fn(c.short{:}), c.shortResult, sprintf('%s after the interrupt', name));
      rand(2, 1);
      printf('checked %s: interrupted after %.2f s of about %.1f s\n', name, elapsed, c.estimate);
      cases = rmfield(cases, name);
  end
end
