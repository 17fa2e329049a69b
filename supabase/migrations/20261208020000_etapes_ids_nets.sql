-- Step ids compare trimmed: a framework saved again stores " demo" as "demo",
-- and proposals made before keep finding their step.
create or replace function prive.position_etape(p_donnees jsonb, p_etape_id text) returns integer
language plpgsql immutable
as $$
declare
  pos integer;
begin
  select e.ord - 1 into pos
    from jsonb_array_elements(case when jsonb_typeof(p_donnees -> 'etapes') = 'array' then p_donnees -> 'etapes'
                                   else '[]'::jsonb end) with ordinality as e (v, ord)
   where btrim(e.v ->> 'id') = btrim(p_etape_id) limit 1;
  if pos is null then
    raise exception using errcode = 'P0001', message = 'Cette étape n''existe plus dans le Framework.',
                          hint = 'etape_introuvable';
  end if;
  return pos;
end
$$;
revoke all on function prive.position_etape(jsonb, text) from public, anon, authenticated;
