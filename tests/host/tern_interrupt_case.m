function tern_interrupt_case(name, step)
% tern_interrupt_case(name, step) is one step of the interrupt test, driven
% line by line by interrupt.sh while the session reads its commands from a
% pipe: 'prepare' builds a long input and a short one (and the short one's
% result), 'run' starts the long call, during which the driver sends
% SIGINT, and 'check' verifies that the call ended before its work was done,
% that the host's generator is as it was and that the module works again in
% the session. Nothing here times the machine: the host acts on a pending
% interrupt only between statements, so a call that ran its work to the end
% would still have handed its result to the assignment in 'run'; a result
% that is missing shows that the module itself ended the call early.
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
      else
        varWatterson = struct('model', 'ruim', 'EsNodB', 10, 'seed', 3);
        x = complex(randn(16e6, 1), randn(16e6, 1));
        c.long = {x, varWatterson, varShapping};
        c.short = {R.shape_out(1:3000), varWatterson, varShapping};
      end
      fn = str2func(name);
      c.shortResult = fn(c.short{:});
      rand(3, 1);  % a generator state that is not a fresh seed
      c.before = rng;
      c.finished = false;
      cases.(name) = c;
      printf('prepared %s\n', name);
    case 'run'
      c = cases.(name);
      fn = str2func(name);
      printf('running %s\n', name);
      fflush(stdout);
      cases.(name).result = fn(c.long{:});  % not assigned when the module ends the call early
      cases.(name).finished = true;
      printf('%s finished without being interrupted\n', name);
    case 'check'
      c = cases.(name);
      assert(~c.finished, '%s was not interrupted', name);
      assert(~isfield(c, 'result'), '%s did its whole work: the interrupt did not end the call', name);
      assert(isequal(rng, c.before), 'the host generator changed');
      fn = str2func(name);
      tern_same(fn(c.short{:}), c.shortResult, sprintf('%s after the interrupt', name));
      tern_same(fn(c.short{:}), c.shortResult, sprintf('%s called again', name));
      assert(isequal(rng, c.before), 'the host generator changed after the calls that followed the interrupt');
      rand(2, 1);
      printf('checked %s: ended early, generator and module intact\n', name);
      cases = rmfield(cases, name);
  end
end
